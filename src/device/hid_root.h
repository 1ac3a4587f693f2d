#pragma once

#include <filesystem>

namespace nurak {

// Where HID devices are looked up: the sysfs and /dev trees. A private root
// (--hid-root DIR or NURAK_HID_ROOT) uses DIR/sys and DIR/dev, where nodes may
// be sockets served by virtual devices.
struct HidRoot {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";

    static HidRoot System() { return {}; }
    static HidRoot Under(const std::filesystem::path& dir) { return {dir / "sys", dir / "dev"}; }
};

// The root used by objects that are not given one: NURAK_HID_ROOT when set,
// else the system's, until SetCurrentHidRoot replaces it.
HidRoot CurrentHidRoot();
void SetCurrentHidRoot(const HidRoot& root);

}  // namespace nurak
