#include "device/device_path.h"

#include <gtest/gtest.h>

namespace nurak {
namespace {

TEST(DevicePath, ParsesNumbersIgnoringCaseAsHex) {
    struct Case {
        const char* path;
        uint16_t vid, pid;
        uint32_t mi, col;
    };
    const Case cases[] = {
        {"/dev/hidraw3?vid_0c45&pid_7643&mi_01&col04", 0x0C45, 0x7643, 1, 4},
        {"/dev/hidraw0?hid", 0, 0, 0, 0},
        {"\\\\?\\hid#VID_320F&PID_21FD&MI_01&Col0a#7&1", 0x320F, 0x21FD, 1, 10},
        {"/dev/hidraw9?vid_&pid_zz&mi_&col", 0, 0, 0, 0},  // keys without digits read as 0
        {"", 0, 0, 0, 0},
        {"/dev/hidraw1?hid&mi_03", 0, 0, 3, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathVendorId(c.path), c.vid) << c.path;
        EXPECT_EQ(PathProductId(c.path), c.pid) << c.path;
        EXPECT_EQ(PathInterfaceNumber(c.path), c.mi) << c.path;
        EXPECT_EQ(PathCollectionNumber(c.path), c.col) << c.path;
    }
}

TEST(DevicePath, MiNeedsItsAmpersand) {
    // "mi_" right after '?' is not the "&mi_" key.
    EXPECT_EQ(PathInterfaceNumber("/dev/hidraw1?mi_01"), 0u);
}

TEST(DevicePath, FormatsWhatTheParsersReadBack) {
    struct Case {
        InterfacePathParts parts;
        const char* expected;
    };
    const Case cases[] = {
        {{"/dev/hidraw3", 0x0C45, 0x7643, 1, 4}, "/dev/hidraw3?vid_0c45&pid_7643&mi_01&col04"},
        {{"/dev/hidraw0", 0x320F, 0x21FD, 0, 0}, "/dev/hidraw0?vid_320f&pid_21fd&mi_00"},
        {{"/r/dev/hidraw7", 0, 0, 3, 0}, "/r/dev/hidraw7?hid&mi_03"},
        {{"/dev/hidraw2", 0x046D, 0xC52B, -1, 12}, "/dev/hidraw2?vid_046d&pid_c52b&col0c"},
    };
    for (const auto& c : cases) {
        const std::string path = FormatInterfacePath(c.parts);
        EXPECT_EQ(path, c.expected);
        EXPECT_EQ(PathNode(path), c.parts.node);
        EXPECT_EQ(PathVendorId(path), c.parts.vendorId);
        EXPECT_EQ(PathProductId(path), c.parts.productId);
        EXPECT_EQ(PathCollectionNumber(path), static_cast<uint32_t>(c.parts.collection));
    }
}

TEST(DevicePath, KeepsLongPathsWhole) {
    InterfacePathParts parts;
    parts.node = "/tmp/" + std::string(400, 'x') + "/dev/hidraw1";
    parts.vendorId = 0x0C45;
    parts.productId = 0x7643;
    parts.interfaceNumber = 1;
    parts.collection = 4;
    const std::string path = FormatInterfacePath(parts);
    EXPECT_GT(path.size(), 260u);
    EXPECT_EQ(PathNode(path), parts.node);
    EXPECT_EQ(PathCollectionNumber(path), 4u);
}

}  // namespace
}  // namespace nurak
