#include "device/hid_root.h"

#include <cstdlib>
#include <mutex>

namespace nurak {

namespace {

std::mutex& RootMutex() {
    static std::mutex m;
    return m;
}

HidRoot& Root() {
    static HidRoot root = [] {
        const char* dir = std::getenv("NURAK_HID_ROOT");
        return (dir && *dir) ? HidRoot::Under(dir) : HidRoot::System();
    }();
    return root;
}

}  // namespace

HidRoot CurrentHidRoot() {
    std::lock_guard lock(RootMutex());
    return Root();
}

void SetCurrentHidRoot(const HidRoot& root) {
    std::lock_guard lock(RootMutex());
    Root() = root;
}

}  // namespace nurak
