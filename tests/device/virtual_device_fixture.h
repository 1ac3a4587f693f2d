#pragma once

// A private HID root with virtual devices, reached through the real client code.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "device/hid_root.h"
#include "emulator/virtual_hid.h"
#include "support/temp_dir.h"
#include "support/virtual_paths.h"

namespace nurak::testing {

class VirtualDeviceTest : public ::testing::Test {
protected:
    VirtualDeviceTest() : emu_(std::make_unique<emu::VirtualHidRoot>(dir_.path())) {}

    HidRoot root() const { return HidRoot::Under(dir_.path()); }
    emu::VirtualHidRoot& emu() { return *emu_; }
    emu::VirtualDevice& Add(emu::Model model, const emu::DeviceOptions& options = {}) {
        return emu_->Add(model, options);
    }
    // The interface path of a device's collection as the listing forms it.
    static std::string PathOf(const emu::VirtualDevice& d, int interfaceNumber, int collection) {
        return nurak::testing::VirtualInterfacePath(d, interfaceNumber, collection);
    }
    static std::string CommandPath(const emu::VirtualDevice& d) { return nurak::testing::VirtualCommandPath(d); }

    TempDir dir_{"nurak-dev-test"};
    std::unique_ptr<emu::VirtualHidRoot> emu_;
};

}  // namespace nurak::testing
