#include "device/hid_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

#include "platform/tick.h"
#include "virtual_device_fixture.h"

namespace nurak {
namespace {

using testing::VirtualDeviceTest;

std::vector<std::string> ListAll(HidDevice& d) {
    std::vector<std::string> out;
    EXPECT_TRUE(d.FindInterfaces());
    while (const char* p = d.NextPath()) out.emplace_back(p);
    return out;
}

std::array<uint8_t, 64> Request(uint8_t command) {
    std::array<uint8_t, 64> r{};
    r[0] = 4;
    r[3] = command;
    r[1] = command;  // checksum of a report with only the command byte set
    return r;
}

class HidDeviceTest : public VirtualDeviceTest {};

TEST_F(HidDeviceTest, EmptyRootListsNothing) {
    HidDevice d(root());
    EXPECT_TRUE(d.FindInterfaces());
    EXPECT_EQ(d.NextPath(), nullptr);
}

TEST_F(HidDeviceTest, MissingRootListsNothing) {
    HidDevice d(HidRoot::Under(dir_.path() / "nothing-here"));
    EXPECT_TRUE(d.FindInterfaces());
    EXPECT_EQ(d.PathCount(), 0u);
}

TEST_F(HidDeviceTest, OnePathPerTopLevelCollection) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    const auto paths = ListAll(d);
    const std::vector<std::string> expected = {
        PathOf(mouse, 0, 0), PathOf(mouse, 1, 1), PathOf(mouse, 1, 2), PathOf(mouse, 1, 3), PathOf(mouse, 1, 4),
    };
    EXPECT_EQ(paths, expected);
    EXPECT_NE(paths[4].find("?vid_0c45&pid_7643&mi_01&col04"), std::string::npos);
}

TEST_F(HidDeviceTest, DevicesWithoutIdsGetPathsWithoutIdKeys) {
    auto& headset = Add(emu::Model::Headset);
    auto& pad = Add(emu::Model::Mousepad);
    HidDevice d(root());
    const auto paths = ListAll(d);
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0], headset.DevNode(3).string() + "?hid&mi_03");
    EXPECT_EQ(paths[4], pad.DevNode(1).string() + "?hid&mi_01&col04");
    for (const auto& p : paths) EXPECT_EQ(p.find("vid_"), std::string::npos) << p;
}

TEST_F(HidDeviceTest, ManyInterfacesAreAllListedInOrder) {
    // 10 mice: 20 nodes and 50 paths, past several doublings of the list.
    for (int i = 0; i < 10; ++i) Add(emu::Model::Mouse);
    HidDevice d(root());
    const auto paths = ListAll(d);
    ASSERT_EQ(paths.size(), 50u);
    for (size_t i = 0; i < 10; ++i) {
        auto& m = emu().device(i);
        EXPECT_EQ(paths[i * 5], PathOf(m, 0, 0));
        EXPECT_EQ(paths[i * 5 + 4], PathOf(m, 1, 4));
    }
    // A second listing starts over.
    EXPECT_EQ(ListAll(d), paths);
    d.FreePaths();
    EXPECT_EQ(d.NextPath(), nullptr);
}

TEST_F(HidDeviceTest, OpenFillsCapabilitiesAttributesAndNumbers) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 4), true, true, true, false));
    EXPECT_EQ(d.caps().usagePage, 0xFF1C);
    EXPECT_EQ(d.caps().usage, 0x92);
    EXPECT_EQ(d.caps().inputReportByteLength, 64);
    EXPECT_EQ(d.caps().outputReportByteLength, 64);
    EXPECT_EQ(d.caps().featureReportByteLength, 0);
    EXPECT_EQ(d.attributes().vendorId, 0x0C45);
    EXPECT_EQ(d.attributes().productId, 0x7643);
    EXPECT_EQ(d.attributes().versionNumber, 0x0105);
    EXPECT_EQ(d.interfaceNumber(), 1u);
    EXPECT_EQ(d.collectionNumber(), 4u);
    EXPECT_EQ(d.reportBuffer(hid::ReportType::Input).size(), 64u);
    EXPECT_EQ(d.reportBuffer(hid::ReportType::Feature).size(), 0u);

    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 3), true, false, true, false));
    EXPECT_EQ(d.caps().usagePage, 0x000C);
    EXPECT_EQ(d.caps().usage, 0x01);
    EXPECT_EQ(d.collectionNumber(), 3u);
    EXPECT_FALSE(d.data(hid::ReportType::Input).empty());
}

TEST_F(HidDeviceTest, OpenFailsCleanlyOnBadPaths) {
    auto& mouse = Add(emu::Model::Mouse);
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {(dir_.path() / "dev" / "hidraw99").string() + "?vid_0c45&pid_7643&mi_01&col04", ENOENT},
        {PathOf(mouse, 1, 9), ENOENT},                 // no ninth collection
        {mouse.DevNode(1).string() + "?hid", EINVAL},  // several collections, none named
    };
    for (const auto& c : cases) {
        HidDevice d(root());
        EXPECT_FALSE(d.Open(c.path, true, true, true, false)) << c.path;
        EXPECT_EQ(d.lastError(), c.error) << c.path;
        EXPECT_FALSE(d.IsOpen());
        uint8_t buf[64];
        EXPECT_FALSE(d.ReadReport(buf, sizeof buf, 10));
    }
}

TEST_F(HidDeviceTest, CloseTwiceAndBeforeOpenIsHarmless) {
    HidDevice never(root());
    never.Close();
    never.Close();
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 4), true, true, true, false));
    d.Close();
    d.Close();
    EXPECT_FALSE(d.IsOpen());
    EXPECT_EQ(d.caps().usagePage, 0);
}

TEST_F(HidDeviceTest, RepliesReachOnlyTheCommandCollection) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice command(root()), notify(root());
    ASSERT_TRUE(command.Open(PathOf(mouse, 1, 4), true, true, true, false));
    ASSERT_TRUE(notify.Open(PathOf(mouse, 1, 3), true, true, true, false));
    const auto req = Request(1);
    uint32_t written = 0;
    ASSERT_TRUE(command.WriteReport(req.data(), 64, 1000, &written));
    EXPECT_EQ(written, 64u);
    uint8_t reply[64] = {};
    uint32_t got = 0;
    ASSERT_TRUE(command.ReadReport(reply, sizeof reply, 1000, &got));
    EXPECT_EQ(got, 64u);
    EXPECT_EQ(reply[0], 4);
    EXPECT_EQ(reply[3], 1);
    // The node handed the reply to the other handle too, but it is not its report.
    EXPECT_FALSE(notify.ReadReport(reply, sizeof reply, 50, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(HidDeviceTest, NotificationsReachEveryHandleOfTheirCollection) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice a(root()), b(root()), command(root());
    ASSERT_TRUE(a.Open(PathOf(mouse, 1, 3), true, false, true, false));
    ASSERT_TRUE(b.Open(PathOf(mouse, 1, 3), true, false, true, false));
    ASSERT_TRUE(command.Open(PathOf(mouse, 1, 4), true, true, true, false));
    ASSERT_TRUE(mouse.SendConsumerUsage(0x0401));
    for (HidDevice* d : {&a, &b}) {
        uint8_t report[64] = {};
        uint32_t got = 0;
        ASSERT_TRUE(d->ReadReport(report, sizeof report, 1000, &got));
        ASSERT_GE(got, 3u);
        EXPECT_EQ(report[0], 3);
        EXPECT_EQ(report[1] | report[2] << 8, 0x0401);
    }
    uint8_t report[64];
    EXPECT_FALSE(command.ReadReport(report, sizeof report, 50));
}

TEST_F(HidDeviceTest, UnpackDecodesTheNotificationUsage) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 3), true, false, true, false));
    ASSERT_TRUE(mouse.SendConsumerUsage(0x0512));
    auto& buffer = d.reportBuffer(hid::ReportType::Input);
    ASSERT_TRUE(d.ReadReport(buffer.data(), static_cast<uint32_t>(buffer.size()), 1000));
    auto& entries = d.data(hid::ReportType::Input);
    ASSERT_TRUE(HidDevice::UnpackInputReport(entries.data(), entries.size(), buffer.data(),
                                             static_cast<uint32_t>(buffer.size()), hid::ReportType::Input,
                                             d.preparsed()));
    ASSERT_FALSE(entries.empty());
    ASSERT_TRUE(entries[0].isButton);
    EXPECT_TRUE(entries[0].isSet);
    ASSERT_FALSE(entries[0].usages.empty());
    EXPECT_EQ(entries[0].usages[0], 0x0512);
    // The release that follows decodes to no usage.
    ASSERT_TRUE(d.ReadReport(buffer.data(), static_cast<uint32_t>(buffer.size()), 1000));
    ASSERT_TRUE(HidDevice::UnpackInputReport(entries.data(), entries.size(), buffer.data(),
                                             static_cast<uint32_t>(buffer.size()), hid::ReportType::Input,
                                             d.preparsed()));
    EXPECT_EQ(entries[0].usages[0], 0);
}

TEST_F(HidDeviceTest, ReadTimesOutWithNothingTransferred) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 4), true, true, true, false));
    uint8_t buf[64];
    uint32_t got = 123;
    const uint64_t start = TickCount64();
    EXPECT_FALSE(d.ReadReport(buf, sizeof buf, 100, &got));
    EXPECT_GE(TickCount64() - start, 100u);
    EXPECT_EQ(got, 0u);
}

TEST_F(HidDeviceTest, CloseFromAnotherThreadEndsAnInfiniteRead) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 3), true, false, true, false));
    uint8_t buf[64];
    auto reader = std::async(std::launch::async, [&] {
        uint32_t got = 99;
        const bool ok = d.ReadReport(buf, sizeof buf, kInfinite, &got);
        return std::make_pair(ok, got);
    });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    d.Close();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [ok, got] = reader.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(d.IsOpen());
}

TEST_F(HidDeviceTest, UnplugEndsAWaitingRead) {
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 1, 4), true, true, true, false));
    auto reader = std::async(std::launch::async, [&] {
        uint8_t buf[64];
        return d.ReadReport(buf, sizeof buf, kInfinite);
    });
    SleepMs(50);
    emu().Unplug(mouse);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(reader.get());
    EXPECT_EQ(d.lastError(), ENODEV);
    const auto req = Request(1);
    EXPECT_FALSE(d.WriteReport(req.data(), 64, 100));
}

TEST_F(HidDeviceTest, AccessFlagsAreHonoured) {
    auto& mouse = Add(emu::Model::Mouse);
    const auto req = Request(1);
    uint8_t buf[64];
    HidDevice readOnly(root());
    ASSERT_TRUE(readOnly.Open(PathOf(mouse, 1, 4), true, false, true, false));
    EXPECT_FALSE(readOnly.WriteReport(req.data(), 64, 100));
    HidDevice noAccess(root());
    ASSERT_TRUE(noAccess.Open(PathOf(mouse, 1, 4), false, false, false, false));
    EXPECT_EQ(noAccess.caps().usagePage, 0xFF1C);  // attributes without a handle for I/O
    EXPECT_FALSE(noAccess.WriteReport(req.data(), 64, 100));
    EXPECT_FALSE(noAccess.ReadReport(buf, sizeof buf, 10));
    EXPECT_EQ(mouse.ConnectionCount(1), 1u);  // only the read-only handle connected
}

TEST_F(HidDeviceTest, NodeWithoutReportIdsGetsAZeroIdByte) {
    // The boot interface of the mouse has no report ids: the reader sees byte 0 = 0 first.
    auto& mouse = Add(emu::Model::Mouse);
    HidDevice d(root());
    ASSERT_TRUE(d.Open(PathOf(mouse, 0, 0), true, false, true, false));
    const uint8_t move[] = {0x01, 0x05, 0xFB, 0x00};
    ASSERT_TRUE(mouse.SendInput(0, move));
    uint8_t buf[16] = {};
    uint32_t got = 0;
    ASSERT_TRUE(d.ReadReport(buf, sizeof buf, 1000, &got));
    EXPECT_EQ(got, d.caps().inputReportByteLength);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 0x01);
    EXPECT_EQ(buf[2], 0x05);
    EXPECT_EQ(buf[3], 0xFB);
}

}  // namespace
}  // namespace nurak
