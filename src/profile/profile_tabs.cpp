#include "profile/profile_tabs.h"

namespace nurak::profile {

namespace {

constexpr std::string_view kKeyboardHidden[] = {"cursor_Op_tab"};
// A mousepad (and kind 5) has nothing to assign, record or point.
constexpr std::string_view kPadHidden[] = {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"};
constexpr std::string_view kKind4Hidden[] = {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"};
constexpr std::string_view kHeadsetShown[] = {"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};

}  // namespace

KindTabs TabsForDeviceKind(int deviceKind) {
    switch (deviceKind) {
        case 1:
            return {kKeyboardHidden, {}};
        case 3:
            return {kPadHidden, {}};
        case 4:
            return {kKind4Hidden, {}};
        case 5:
            return {kPadHidden, {}};
        case 7:
            return {kPadHidden, kHeadsetShown};
        default:
            return {};
    }
}

}  // namespace nurak::profile
