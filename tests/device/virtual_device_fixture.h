#pragma once

// A private HID root with virtual devices, reached through the real client code.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "device/hid_root.h"
#include "emulator/virtual_hid.h"
#include "support/temp_dir.h"

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
    static std::string PathOf(emu::VirtualDevice& d, int interfaceNumber, int collection) {
        std::string p = d.DevNode(interfaceNumber).string() + "?";
        char buf[64];
        if (d.vendorId() || d.productId()) {
            std::snprintf(buf, sizeof buf, "vid_%04x&pid_%04x", d.vendorId(), d.productId());
            p += buf;
        } else {
            p += "hid";
        }
        std::snprintf(buf, sizeof buf, "&mi_%02x", interfaceNumber);
        p += buf;
        if (collection > 0) {
            std::snprintf(buf, sizeof buf, "&col%02x", collection);
            p += buf;
        }
        return p;
    }
    static std::string CommandPath(emu::VirtualDevice& d) {
        return d.model() == emu::Model::Headset ? PathOf(d, 3, 0) : PathOf(d, 1, 4);
    }

    TempDir dir_{"nurak-dev-test"};
    std::unique_ptr<emu::VirtualHidRoot> emu_;
};

}  // namespace nurak::testing
