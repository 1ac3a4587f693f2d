#pragma once

// Interface paths of virtual devices, formed independently of the client so
// that tests compare what the client lists against an outside expectation.

#include <cstdio>
#include <string>

#include "emulator/virtual_hid.h"

namespace nurak::testing {

inline std::string VirtualInterfacePath(const emu::VirtualDevice& d, int interfaceNumber, int collection) {
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

// The vendor command collection: interface 3 on the headset, collection 4 of interface 1 elsewhere.
inline std::string VirtualCommandPath(const emu::VirtualDevice& d) {
    return d.model() == emu::Model::Headset ? VirtualInterfacePath(d, 3, 0) : VirtualInterfacePath(d, 1, 4);
}

}  // namespace nurak::testing
