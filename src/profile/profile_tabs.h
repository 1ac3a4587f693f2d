#pragma once

// The feature tabs of a device page's profile panel, and which of them a
// device kind hides or shows once its profile list is set up.

#include <array>
#include <span>
#include <string_view>

namespace nurak::profile {

// In the order SelectTab numbers them, from 1: lighting, keys, macros,
// system, pointer, headset audio, voice changer, virtual 7.1 surround.
inline constexpr std::array<std::string_view, 8> kFeatureTabNames = {
    "deng_Op_tab",   "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
    "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab",
};

struct KindTabs {
    std::span<const std::string_view> hidden;
    std::span<const std::string_view> shown;
};

// Kinds without an entry (mouse, unknown codes) change no tab.
KindTabs TabsForDeviceKind(int deviceKind);

}  // namespace nurak::profile
