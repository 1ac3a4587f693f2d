#pragma once

// Listing of hidraw nodes and what sysfs says about each.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/hid_descriptor.h"
#include "device/hid_root.h"

namespace nurak {

struct HidNodeInfo {
    std::string name;            // "hidraw3"
    std::filesystem::path node;  // <dev root>/hidraw3
    uint16_t bus = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0;        // bcdDevice of the USB device, 0 when not on USB
    int interfaceNumber = -1;    // -1 when the device is not a USB interface
    std::string hidName;
    std::vector<uint8_t> descriptor;
};

// Every hidraw node of the root in ascending node number. Nodes whose sysfs
// entry vanished while listing are left out. False only when the class folder
// exists but cannot be read.
bool EnumerateHidNodes(const HidRoot& root, std::vector<HidNodeInfo>& out);

// The sysfs facts of one node by its name ("hidraw3"); false when it has none.
bool ReadHidNodeInfo(const HidRoot& root, const std::string& name, HidNodeInfo& out);

// One top-level collection of a node, under the interface path that names it.
struct HidInterfaceInfo {
    std::string path;
    std::filesystem::path node;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0;
    int interfaceNumber = -1;
    int collection = 0;  // 0 when the node has a single top-level collection
    hid::Collection tlc;
};

// Every interface path of the root, node by node and collection by
// collection, without opening any node. Nodes whose descriptor does not parse
// give no path. False as EnumerateHidNodes.
bool EnumerateHidInterfaces(const HidRoot& root, std::vector<HidInterfaceInfo>& out);

}  // namespace nurak
