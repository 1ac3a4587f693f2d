#include "device/device_tables.h"

#include <gtest/gtest.h>

namespace nurak {
namespace {

DeviceMatchEntry Candidate(const char* path, uint16_t usagePage, uint16_t usage) {
    DeviceMatchEntry e = MatchEntryFromPath(path);
    e.usagePage = usagePage;
    e.usage = usage;
    return e;
}

constexpr const char* kMouseCommand = "/dev/hidraw3?vid_0c45&pid_7643&mi_01&col04";
constexpr const char* kMouseNotify = "/dev/hidraw3?vid_0c45&pid_7643&mi_01&col03";

TEST(DeviceTables, MouseCollectionsFillTheirSlots) {
    SlotList slots;
    auto command = Candidate(kMouseCommand, 0xFF1C, 0x92);
    auto notify = Candidate(kMouseNotify, 0x000C, 0x01);
    ASSERT_TRUE(slots.FindRowForPath(notify));
    EXPECT_EQ(slots.ClaimSlot(notify), std::optional<size_t>(3));
    EXPECT_EQ(notify.role, InterfaceRole::Notification);
    ASSERT_TRUE(slots.FindRowForPath(command));
    EXPECT_EQ(slots.ClaimSlot(command), std::optional<size_t>(2));
    EXPECT_EQ(command.kind, DeviceKind::Mouse);
    EXPECT_EQ(slots[2].path, kMouseCommand);
    EXPECT_EQ(slots[2].connected, 1);
}

TEST(DeviceTables, WrongUsagePageIsNotClaimed) {
    SlotList slots;
    auto c = Candidate(kMouseCommand, 0xFF00, 0x92);
    EXPECT_TRUE(slots.FindRowForPath(c));
    EXPECT_FALSE(slots.ClaimSlot(c).has_value());
    EXPECT_TRUE(slots[2].path.empty());
}

TEST(DeviceTables, SecondIdenticalMouseFindsNoSlotUntilTheFirstLeaves) {
    SlotList slots;
    auto first = Candidate(kMouseCommand, 0xFF1C, 0x92);
    auto second = Candidate("/dev/hidraw5?vid_0c45&pid_7643&mi_01&col04", 0xFF1C, 0x92);
    ASSERT_TRUE(slots.ClaimSlot(first).has_value());
    EXPECT_FALSE(slots.FindRowForPath(second));
    EXPECT_FALSE(slots.ClaimSlot(second).has_value());
    slots.Release(2);
    EXPECT_EQ(slots.ClaimSlot(second), std::optional<size_t>(2));
}

TEST(DeviceTables, ZeroIdRowsMatchOnlyPathsWithoutIds) {
    SlotList slots;
    // A USB path always carries ids; the keyboard rows (ids 0) do not take it.
    auto usb = Candidate("/dev/hidraw1?vid_1234&pid_5678&mi_01&col04", 0xFF1C, 0x92);
    EXPECT_FALSE(slots.FindRowForPath(usb));
    auto virtualKeyboard = Candidate("/dev/hidraw1?hid&mi_01&col04", 0xFF1C, 0x92);
    EXPECT_EQ(slots.ClaimSlot(virtualKeyboard), std::optional<size_t>(0));
    EXPECT_EQ(virtualKeyboard.kind, DeviceKind::Keyboard);
    // The mousepad rows equal the keyboard rows: a second such device gets slot 6.
    auto pad = Candidate("/dev/hidraw2?hid&mi_01&col04", 0xFF1C, 0x92);
    EXPECT_EQ(slots.ClaimSlot(pad), std::optional<size_t>(6));
    auto headset = Candidate("/dev/hidraw4?hid&mi_03", 0x000C, 0x01);
    EXPECT_EQ(slots.ClaimSlot(headset), std::optional<size_t>(8));
    EXPECT_EQ(headset.kind, DeviceKind::Headset);
}

TEST(DeviceTables, AllSlotsTakenOnlyWhenEveryRowIsConnected) {
    SlotList slots;
    EXPECT_FALSE(slots.AllSlotsTaken());
    const struct {
        const char* path;
        uint16_t page, usage;
    } all[] = {
        {"/d/h0?hid&mi_01&col04", 0xFF1C, 0x92}, {"/d/h0?hid&mi_01&col03", 0x0C, 1},
        {"/d/h1?vid_0c45&pid_7643&mi_01&col04", 0xFF1C, 0x92}, {"/d/h1?vid_0c45&pid_7643&mi_01&col03", 0x0C, 1},
        {"/d/h2?vid_320f&pid_21fd&mi_01&col04", 0xFF1C, 0x92}, {"/d/h2?vid_320f&pid_21fd&mi_01&col03", 0x0C, 1},
        {"/d/h3?hid&mi_01&col04", 0xFF1C, 0x92}, {"/d/h3?hid&mi_01&col03", 0x0C, 1},
        {"/d/h4?hid&mi_03", 0x0C, 1},
    };
    for (const auto& a : all) {
        EXPECT_FALSE(slots.AllSlotsTaken());
        auto e = Candidate(a.path, a.page, a.usage);
        ASSERT_TRUE(slots.ClaimSlot(e).has_value()) << a.path;
    }
    EXPECT_TRUE(slots.AllSlotsTaken());
}

TEST(DeviceTables, PageAndSlotRowLookups) {
    EXPECT_EQ(FindPageRow(0x0C45, 0x7643, DeviceKind::Mouse, InterfaceRole::Command), 0);
    EXPECT_EQ(FindPageRow(0x320F, 0x21FD, DeviceKind::Mouse, InterfaceRole::Command), 4);
    EXPECT_EQ(FindPageRow(0, 0, DeviceKind::Headset, InterfaceRole::Command), 3);
    EXPECT_EQ(FindPageRow(0x0C45, 0x7643, DeviceKind::Keyboard, InterfaceRole::Command), -1);
    EXPECT_EQ(FindSlotRow(0x320F, 0x21FD, DeviceKind::Mouse, InterfaceRole::Command), 4);
    EXPECT_EQ(FindSlotRow(0, 0, DeviceKind::Mousepad, InterfaceRole::Notification), 7);
    EXPECT_EQ(FindSlotRow(1, 1, DeviceKind::Mouse, InterfaceRole::Command), -1);
    // Every page row has its identification row.
    for (const auto& p : DevicePageTable())
        EXPECT_GE(FindSlotRow(static_cast<uint16_t>(p.vendorId), static_cast<uint16_t>(p.productId), p.kind, p.role), 0)
            << p.kindName;
}

}  // namespace
}  // namespace nurak
