#pragma once

// Interface paths: "<node>?vid_0c45&pid_7643&mi_01&col04", one per top-level
// collection, formed so that the path parsers read the numbers as they would
// from a Windows HID path.

#include <cstdint>
#include <string>
#include <string_view>

namespace nurak {

// True when `key` occurs in the path, without regard to case.
bool PathHasKey(std::string_view path, std::string_view key);

// The hexadecimal number after `key` (searched without regard to case), read
// like "%x": leading digits only, 0 when the key is absent or no digit follows.
uint32_t ParsePathNumber(std::string_view path, std::string_view key);

inline uint16_t PathVendorId(std::string_view path) {
    return static_cast<uint16_t>(ParsePathNumber(path, "vid_"));
}
inline uint16_t PathProductId(std::string_view path) {
    return static_cast<uint16_t>(ParsePathNumber(path, "pid_"));
}
inline uint32_t PathInterfaceNumber(std::string_view path) { return ParsePathNumber(path, "&mi_"); }
inline uint32_t PathCollectionNumber(std::string_view path) { return ParsePathNumber(path, "&col"); }

// The device node a path names (the part before '?').
std::string_view PathNode(std::string_view path);

struct InterfacePathParts {
    std::string node;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int interfaceNumber = -1;  // -1: not known (no "&mi_")
    int collection = 0;        // 0: the node has a single top-level collection (no "&col")
};

// Builds a path. Ids of 0 on both sides give no "vid_"/"pid_" keys, so such a
// path only matches rows that expect no ids.
std::string FormatInterfacePath(const InterfacePathParts& parts);

}  // namespace nurak
