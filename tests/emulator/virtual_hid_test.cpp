#include "emulator/virtual_hid.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "emu_test_util.h"
#include "emulator/descriptors.h"

namespace nurak::emu {
namespace {

using namespace nurak::emu::testing;
using Clock = std::chrono::steady_clock;

std::string Hex(const char* fmt, unsigned v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

DeviceOptions WithFault(const FaultRule& rule) {
    DeviceOptions o;
    o.faults.push_back(rule);
    return o;
}

bool IsSocket(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool Exists(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// Sends a request and returns the next 64-byte message, failing the test on
// anything else.
Report Ask(const Fd& fd, const Report& request) {
    EXPECT_TRUE(SendBytes(fd, request));
    Received r = RecvMessage(fd);
    Report reply{};
    EXPECT_EQ(r.status, RecvStatus::Data);
    EXPECT_EQ(r.data.size(), kReportSize);
    if (r.data.size() == kReportSize) std::copy(r.data.begin(), r.data.end(), reply.begin());
    return reply;
}

Report Take(const Fd& fd, int timeoutMs = 5000) {
    Received r = RecvMessage(fd, timeoutMs);
    Report reply{};
    EXPECT_EQ(r.status, RecvStatus::Data);
    EXPECT_EQ(r.data.size(), kReportSize);
    if (r.data.size() == kReportSize) std::copy(r.data.begin(), r.data.end(), reply.begin());
    return reply;
}

class VirtualHidTest : public ::testing::Test {
  protected:
    TempDir temp;
    fs::path rootDir = temp.path() / "root";
};

struct Identity {
    Model model;
    uint16_t vendor, product;
    std::vector<int> interfaces;
};

const Identity kIdentities[] = {
    {Model::Mouse, 0x0C45, 0x7643, {0, 1}},    {Model::Mouse3389, 0x320F, 0x21FD, {0, 1}},
    {Model::Keyboard, 0x0000, 0x0000, {0, 1}}, {Model::Mousepad, 0x0000, 0x0000, {1}},
    {Model::Headset, 0x0000, 0x0000, {3}},
};

TEST_F(VirtualHidTest, SysfsTreeMirrorsTheKernelsAndLinksAreRelative) {
    VirtualHidRoot root(rootDir);
    for (const Identity& id : kIdentities) {
        SCOPED_TRACE(std::string(ModelName(id.model)));
        VirtualDevice& d = root.Add(id.model);
        EXPECT_EQ(std::vector<int>(d.interfaces().begin(), d.interfaces().end()), id.interfaces);
        for (int iface : id.interfaces) {
            SCOPED_TRACE("interface " + std::to_string(iface));
            const std::string name = d.NodeName(iface);
            ASSERT_EQ(name.rfind("hidraw", 0), 0u);
            const fs::path link = root.sysRoot() / "class" / "hidraw" / name;
            ASSERT_TRUE(fs::is_symlink(link));
            EXPECT_TRUE(fs::read_symlink(link).is_relative());
            EXPECT_EQ(fs::read_symlink(link / "device"), fs::path("../.."));

            const fs::path hid = fs::canonical(link / "device");
            EXPECT_EQ(hid, fs::canonical(d.HidFolder(iface)));
            EXPECT_EQ(hid.filename().string().substr(0, 15),
                      "0003:" + Hex("%04X", id.vendor) + ":" + Hex("%04X", id.product) + ".");
            const fs::path ifaceDir = hid.parent_path();
            EXPECT_EQ(ReadText(ifaceDir / "bInterfaceNumber"), Hex("%02x\n", static_cast<unsigned>(iface)));
            EXPECT_EQ(ReadText(ifaceDir / "bInterfaceClass"), "03\n");
            const fs::path usb = ifaceDir.parent_path();
            EXPECT_EQ(usb, fs::canonical(d.UsbFolder()));
            EXPECT_EQ(ReadText(usb / "idVendor"), Hex("%04x\n", id.vendor));
            EXPECT_EQ(ReadText(usb / "idProduct"), Hex("%04x\n", id.product));
            EXPECT_EQ(ReadText(usb / "bcdDevice"), "0105\n");
            EXPECT_FALSE(ReadText(usb / "manufacturer").empty());
            EXPECT_FALSE(ReadText(usb / "product").empty());
            EXPECT_EQ(ifaceDir.filename().string(), usb.filename().string() + ":1." + std::to_string(iface));

            const std::string uevent = ReadText(hid / "uevent");
            const std::string n = std::to_string(d.usbNumber());
            const std::string ids = Hex("0000%04X", id.vendor) + ":" + Hex("0000%04X", id.product);
            EXPECT_NE(uevent.find("DRIVER=hid-generic\n"), std::string::npos) << uevent;
            EXPECT_NE(uevent.find("HID_ID=0003:" + ids + "\n"), std::string::npos) << uevent;
            EXPECT_NE(uevent.find("HID_NAME="), std::string::npos) << uevent;
            EXPECT_NE(uevent.find("HID_PHYS=usb-virtual-" + n + "/input" + std::to_string(iface) + "\n"),
                      std::string::npos)
                << uevent;
            EXPECT_NE(uevent.find("HID_UNIQ=\n"), std::string::npos) << uevent;
            EXPECT_NE(uevent.find("MODALIAS=hid:b0003g0001v" + Hex("0000%04X", id.vendor) + "p" +
                                  Hex("0000%04X", id.product) + "\n"),
                      std::string::npos)
                << uevent;
            EXPECT_EQ(ReadBytes(hid / "report_descriptor"), DescriptorFor(id.model, iface));

            const std::string nodeEvent = ReadText(link / "uevent");
            EXPECT_NE(nodeEvent.find("MAJOR="), std::string::npos);
            EXPECT_NE(nodeEvent.find("MINOR=" + name.substr(6) + "\n"), std::string::npos) << nodeEvent;
            EXPECT_NE(nodeEvent.find("DEVNAME=" + name + "\n"), std::string::npos) << nodeEvent;

            const fs::path node = root.devRoot() / name;
            EXPECT_EQ(d.DevNode(iface), node);
            EXPECT_TRUE(IsSocket(node));
            EXPECT_FALSE(Connect(node, SOCK_STREAM).valid()) << "the node is a packet socket";
            EXPECT_TRUE(Connect(node).valid());
        }
    }
    // Numbers are distinct across the devices of one root.
    std::set<std::string> nodes, hids, usbs;
    for (size_t i = 0; i < root.deviceCount(); ++i) {
        VirtualDevice& d = root.device(i);
        usbs.insert(d.UsbFolder().string());
        for (int iface : d.interfaces()) {
            nodes.insert(d.NodeName(iface));
            hids.insert(d.HidFolder(iface).filename().string().substr(15));
        }
    }
    EXPECT_EQ(usbs.size(), 5u);
    EXPECT_EQ(nodes.size(), 8u);
    EXPECT_EQ(hids.size(), 8u);
}

TEST_F(VirtualHidTest, OptionsSetVersionAndIds) {
    VirtualHidRoot root(rootDir);
    DeviceOptions options;
    options.bcdDevice = 0x0203;
    options.vendorId = 0x1234;
    options.productId = 0xABCD;
    VirtualDevice& d = root.Add(Model::Mouse, options);
    EXPECT_EQ(ReadText(d.UsbFolder() / "bcdDevice"), "0203\n");
    EXPECT_EQ(ReadText(d.UsbFolder() / "idVendor"), "1234\n");
    EXPECT_EQ(ReadText(d.UsbFolder() / "idProduct"), "abcd\n");
    EXPECT_EQ(d.HidFolder(1).filename().string().substr(0, 15), "0003:1234:ABCD.");
}

TEST_F(VirtualHidTest, CommandRequestsGetTheirReplies) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd c = Connect(d.DevNode(1));
    ASSERT_TRUE(c.valid());

    Report begin = Ask(c, MakeRequest(command::kBegin, 0, 0));
    EXPECT_EQ(begin[0], 4);
    EXPECT_EQ(begin[3], command::kBegin);
    EXPECT_EQ(begin[7], kStatusOk);
    EXPECT_TRUE(ChecksumValid(begin));

    Report info = Ask(c, MakeRequest(command::kReadInfo, 34, 0));
    EXPECT_EQ(info[7], kStatusOk);
    std::vector<uint8_t> expected;
    d.WithFirmware([&](Firmware& fw) { expected.assign(fw.info().begin(), fw.info().end()); });
    EXPECT_EQ(std::vector<uint8_t>(info.begin() + 8, info.begin() + 42), expected);
    EXPECT_EQ(info[8 + 5], 8);

    std::vector<uint8_t> block(56);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0xC0 + i);
    EXPECT_EQ(Ask(c, MakeRequest(command::kWriteParameters, 56, 128, block))[7], kStatusOk);
    Report back = Ask(c, MakeRequest(command::kReadParameters, 56, 128));
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 8, back.end()), block);

    std::vector<uint8_t> before;
    d.WithFirmware([&](Firmware& fw) { before.assign(fw.parameters().begin(), fw.parameters().end()); });
    EXPECT_EQ(Ask(c, MakeRequest(command::kWriteParameters, 56, 1000, block))[7], kStatusRefused);
    d.WithFirmware([&](Firmware& fw) {
        EXPECT_TRUE(std::equal(before.begin(), before.end(), fw.parameters().begin()))
            << "refused write changed memory";
    });

    Report bad = MakeRequest(command::kReadInfo, 34, 0);
    bad[2] ^= 0x40;
    Report badReply = Ask(c, bad);
    EXPECT_EQ(badReply[3], command::kReadInfo);
    EXPECT_EQ(badReply[7], kStatusBadChecksum);

    Report tooLong = MakeRequest(command::kReadParameters, 0, 0);
    tooLong[4] = 57;
    SealReport(tooLong);
    EXPECT_EQ(Ask(c, tooLong)[7], kStatusRefused);

    EXPECT_EQ(Ask(c, MakeRequest(command::kEnd, 0, 0))[7], kStatusOk);
    d.WithFirmware([](Firmware& fw) {
        EXPECT_EQ(fw.beginCount(), 1u);
        EXPECT_EQ(fw.endCount(), 1u);
    });
    EXPECT_EQ(d.counters().commandRequests, 8u);
}

TEST_F(VirtualHidTest, HeadsetServesCommandsOnInterfaceThree) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Headset);
    Fd c = Connect(d.DevNode(3));
    ASSERT_TRUE(c.valid());
    std::vector<uint8_t> block(21, 0x33);
    EXPECT_EQ(Ask(c, MakeRequest(command::kWriteParameters, 21, 64, block))[7], kStatusOk);
    Report r = Ask(c, MakeRequest(command::kReadParameters, 21, 64));
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 8, r.begin() + 29), block);
    EXPECT_FALSE(d.SendConsumerUsage(0x0401)) << "the headset has no notification node";
}

TEST_F(VirtualHidTest, OtherOutputReportsAreIgnored) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Keyboard);
    Fd boot = Connect(d.DevNode(0));
    Fd vendor = Connect(d.DevNode(1));
    ASSERT_TRUE(boot.valid() && vendor.valid());
    const uint8_t leds[] = {0x02};
    const uint8_t keyboardLeds[] = {kKeyboardReportId, 0x02};
    const uint8_t shortCommand[10] = {kCommandReportId, 1, 0, 1};
    EXPECT_TRUE(SendBytes(boot, leds));
    EXPECT_TRUE(SendBytes(boot, MakeRequest(command::kBegin, 0, 0)));  // not the command node
    EXPECT_TRUE(SendBytes(vendor, keyboardLeds));
    EXPECT_TRUE(SendBytes(vendor, shortCommand));
    // Requests are taken in order, so the first reply on the node is this one.
    Report reply = Ask(vendor, MakeRequest(command::kReadInfo, 34, 0));
    EXPECT_EQ(reply[3], command::kReadInfo);
    EXPECT_EQ(RecvMessage(boot, 50).status, RecvStatus::Timeout);
    // The boot node's messages came on another connection; wait until all are in.
    ASSERT_TRUE(Eventually([&] { return d.counters().reportsReceived == 5; }));
    const DeviceCounters n = d.counters();
    EXPECT_EQ(n.reportsReceived, 5u);
    EXPECT_EQ(n.ignoredReports, 3u);
    EXPECT_EQ(n.malformedReports, 1u);
    EXPECT_EQ(n.commandRequests, 1u);
    d.WithFirmware([](Firmware& fw) { EXPECT_EQ(fw.beginCount(), 0u); });
}

TEST_F(VirtualHidTest, EveryReportGoesToEveryConnectionOfItsNode) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd a = Connect(d.DevNode(1));
    Fd b = Connect(d.DevNode(1));
    Fd boot = Connect(d.DevNode(0));
    ASSERT_TRUE(a.valid() && b.valid() && boot.valid());
    ASSERT_TRUE(Eventually([&] { return d.ConnectionCount(1) == 2 && d.ConnectionCount(0) == 1; }));

    const Report request = MakeRequest(command::kProbe, 0, 0);
    ASSERT_TRUE(SendBytes(a, request));
    for (const Fd* c : {&a, &b}) {
        Report r = Take(*c);
        EXPECT_EQ(r[3], command::kProbe);
        EXPECT_EQ(r[8], 0xFF);
    }

    const std::vector<uint8_t> consumer = {3, 0x01, 0x04};
    ASSERT_TRUE(d.SendInput(1, consumer));
    EXPECT_EQ(RecvMessage(a).data, consumer);
    EXPECT_EQ(RecvMessage(b).data, consumer);

    const std::vector<uint8_t> motion = {0x01, 0x05, 0xFB, 0x00};
    ASSERT_TRUE(d.SendInput(0, motion));
    EXPECT_EQ(RecvMessage(boot).data, motion) << "the boot node got nothing of interface 1";
    EXPECT_FALSE(d.SendInput(2, motion));

    b.Reset();
    EXPECT_TRUE(Eventually([&] { return d.ConnectionCount(1) == 1; }));
}

TEST_F(VirtualHidTest, ConsumerUsagesArePressAndRelease) {
    VirtualHidRoot root(rootDir);
    for (Model m : {Model::Mouse, Model::Keyboard, Model::Mousepad}) {
        SCOPED_TRACE(std::string(ModelName(m)));
        VirtualDevice& d = root.Add(m);
        Fd a = Connect(d.DevNode(1));
        Fd b = Connect(d.DevNode(1));
        ASSERT_TRUE(Eventually([&] { return d.ConnectionCount(1) == 2; }));
        for (uint16_t usage : {uint16_t{0x0401}, uint16_t{0x0512}, uint16_t{0x0612}}) {
            ASSERT_TRUE(d.SendConsumerUsage(usage));
            const std::vector<uint8_t> press = {3, static_cast<uint8_t>(usage & 0xFF),
                                                static_cast<uint8_t>(usage >> 8)};
            const std::vector<uint8_t> release = {3, 0, 0};
            for (const Fd* c : {&a, &b}) {
                EXPECT_EQ(RecvMessage(*c).data, press);
                EXPECT_EQ(RecvMessage(*c).data, release);
            }
        }
    }
}

// Faults that refuse the command: nothing changes, and only the chosen
// command is touched, only as often as asked.
TEST_F(VirtualHidTest, RefusingFaults) {
    const std::pair<FaultKind, uint8_t> cases[] = {{FaultKind::StatusFF, 0xFF}, {FaultKind::StatusFE, 0xFE}};
    VirtualHidRoot root(rootDir);
    for (auto [kind, status] : cases) {
        SCOPED_TRACE(static_cast<int>(kind));
        VirtualDevice& d = root.Add(Model::Mouse);
        d.AddFault({kind, command::kWriteParameters, 1, 0});
        Fd c = Connect(d.DevNode(1));
        const std::vector<uint8_t> block(8, 0x77);
        EXPECT_EQ(Ask(c, MakeRequest(command::kReadParameters, 8, 0))[7], kStatusOk);
        Report refused = Ask(c, MakeRequest(command::kWriteParameters, 8, 0, block));
        EXPECT_EQ(refused[3], command::kWriteParameters);
        EXPECT_EQ(refused[7], status);
        EXPECT_TRUE(ChecksumValid(refused));
        d.WithFirmware([](Firmware& fw) {
            EXPECT_NE(fw.parameters()[1], 0x77);
            EXPECT_EQ(fw.HandledCount(command::kWriteParameters), 0u);
        });
        EXPECT_EQ(Ask(c, MakeRequest(command::kWriteParameters, 8, 0, block))[7], kStatusOk);
        d.WithFirmware([](Firmware& fw) { EXPECT_EQ(fw.parameters()[1], 0x77); });
        EXPECT_EQ(d.counters().faultsFired, 1u);
    }
}

// Faults that spoil the reply of a request the device did carry out.
TEST_F(VirtualHidTest, ReplySpoilingFaults) {
    VirtualHidRoot root(rootDir);
    for (FaultKind kind : {FaultKind::NoReply, FaultKind::Garbage}) {
        SCOPED_TRACE(static_cast<int>(kind));
        VirtualDevice& d = root.Add(Model::Mouse);
        d.AddFault({kind, command::kWriteParameters, 2, 0});
        Fd c = Connect(d.DevNode(1));
        const std::vector<uint8_t> block(4, 0x66);
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(SendBytes(c, MakeRequest(command::kWriteParameters, 4, 128, block)));
            if (kind == FaultKind::Garbage) {
                Report junk = Take(c);
                EXPECT_EQ(junk[0], kCommandReportId);
                EXPECT_NE(junk[3], command::kWriteParameters);
            }
            // Nothing else came for the faulty request: the next message
            // answers the next request.
            Report next = Ask(c, MakeRequest(command::kBegin, 0, 0));
            EXPECT_EQ(next[3], command::kBegin);
            EXPECT_EQ(next[7], kStatusOk);
        }
        Report fine = Ask(c, MakeRequest(command::kWriteParameters, 4, 128, block));
        EXPECT_EQ(fine[7], kStatusOk);
        d.WithFirmware([](Firmware& fw) {
            EXPECT_EQ(fw.HandledCount(command::kWriteParameters), 3u) << "spoiled requests were carried out";
            EXPECT_EQ(fw.parameters()[128], 0x66);
        });
    }
}

TEST_F(VirtualHidTest, StaleEchoPrecedesTheRealReply) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse, WithFault({FaultKind::StaleEcho, -1, 1, 0}));
    Fd c = Connect(d.DevNode(1));
    ASSERT_TRUE(SendBytes(c, MakeRequest(command::kReadInfo, 34, 0)));
    Report stale = Take(c);
    Report real = Take(c);
    EXPECT_NE(stale[3], command::kReadInfo);
    EXPECT_TRUE(ChecksumValid(stale));
    EXPECT_EQ(real[3], command::kReadInfo);
    EXPECT_EQ(real[7], kStatusOk);
    EXPECT_EQ(real[8 + 5], 8);
    EXPECT_EQ(Ask(c, MakeRequest(command::kBegin, 0, 0))[3], command::kBegin) << "fired once only";
}

TEST_F(VirtualHidTest, LateReplyArrivesAfterTheNextOne) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd c = Connect(d.DevNode(1));
    d.AddFault({FaultKind::LateReply, command::kBegin, 1, 600});
    const auto sent = Clock::now();
    ASSERT_TRUE(SendBytes(c, MakeRequest(command::kBegin, 0, 0)));
    ASSERT_TRUE(SendBytes(c, MakeRequest(command::kReadInfo, 34, 0)));
    EXPECT_EQ(Take(c)[3], command::kReadInfo);
    Report late = Take(c);
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(600));
    EXPECT_EQ(late[3], command::kBegin);
    EXPECT_EQ(late[7], kStatusOk);
}

TEST_F(VirtualHidTest, FaultsFilterByCommandAndCanBeCleared) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd c = Connect(d.DevNode(1));
    d.AddFault({FaultKind::NoReply, command::kReadParameters, -1, 0});
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SendBytes(c, MakeRequest(command::kReadParameters, 1, 0)));
        EXPECT_EQ(Ask(c, MakeRequest(command::kProbe, 0, 0))[3], command::kProbe);
    }
    d.ClearFaults();
    EXPECT_EQ(Ask(c, MakeRequest(command::kReadParameters, 1, 0))[3], command::kReadParameters);
}

TEST_F(VirtualHidTest, UnplugAfterRepliesThenDisappears) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse, WithFault({FaultKind::UnplugAfter, -1, 2, 0}));
    const fs::path node = d.DevNode(1);
    const fs::path link = root.sysRoot() / "class" / "hidraw" / d.NodeName(1);
    Fd c = Connect(node);
    EXPECT_EQ(Ask(c, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);
    EXPECT_EQ(Ask(c, MakeRequest(command::kEnd, 0, 0))[3], command::kEnd);
    EXPECT_EQ(RecvMessage(c).status, RecvStatus::Eof);
    EXPECT_FALSE(d.plugged());
    EXPECT_FALSE(Exists(node));
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(d.UsbFolder()));
}

TEST_F(VirtualHidTest, LatencyDelaysTheReply) {
    VirtualHidRoot root(rootDir);
    DeviceOptions slow;
    slow.latencyMs = 40;
    VirtualDevice& d = root.Add(Model::Mouse, slow);
    Fd c = Connect(d.DevNode(1));
    for (double ms : {40.0, 15.5}) {
        d.SetLatency(ms);
        const auto start = Clock::now();
        Report r = Ask(c, MakeRequest(command::kReadInfo, 34, 0));
        EXPECT_GE(Clock::now() - start, std::chrono::microseconds(static_cast<int64_t>(2 * ms * 1000)));
        EXPECT_EQ(r[3], command::kReadInfo);
    }
    // Order is kept when several requests are in flight.
    d.SetLatency(20);
    for (uint8_t cmd : {command::kBegin, command::kReadInfo, command::kEnd}) {
        ASSERT_TRUE(SendBytes(c, MakeRequest(cmd, cmd == command::kReadInfo ? 34 : 0, 0)));
    }
    for (uint8_t cmd : {command::kBegin, command::kReadInfo, command::kEnd}) EXPECT_EQ(Take(c)[3], cmd);
    d.SetLatency(0);
    EXPECT_EQ(d.latency(), 0.0);
}

TEST_F(VirtualHidTest, UnplugRemovesTheDeviceAndClientsSeeEndOfFile) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& keep = root.Add(Model::Keyboard);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd boot = Connect(d.DevNode(0));
    Fd vendor = Connect(d.DevNode(1));
    ASSERT_TRUE(Eventually([&] { return d.ConnectionCount(0) + d.ConnectionCount(1) == 2; }));
    const fs::path usb = d.UsbFolder();
    const std::vector<fs::path> nodes = {d.DevNode(0), d.DevNode(1)};
    const std::vector<fs::path> links = {root.sysRoot() / "class" / "hidraw" / d.NodeName(0),
                                         root.sysRoot() / "class" / "hidraw" / d.NodeName(1)};

    root.Unplug(d);
    EXPECT_FALSE(d.plugged());
    EXPECT_EQ(RecvMessage(boot).status, RecvStatus::Eof);
    EXPECT_EQ(RecvMessage(vendor).status, RecvStatus::Eof);
    EXPECT_FALSE(SendBytes(vendor, MakeRequest(command::kBegin, 0, 0)));
    for (const auto& p : nodes) {
        EXPECT_FALSE(Exists(p)) << p;
        EXPECT_FALSE(Connect(p).valid());
    }
    for (const auto& p : links) EXPECT_FALSE(Exists(p)) << p;
    EXPECT_FALSE(Exists(usb));
    EXPECT_FALSE(d.SendConsumerUsage(0x0401));
    EXPECT_EQ(d.ConnectionCount(1), 0u);
    root.Unplug(d);  // twice is harmless

    // The other device is untouched and still answers.
    Fd k = Connect(keep.DevNode(1));
    EXPECT_EQ(Ask(k, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);
    EXPECT_TRUE(Exists(keep.UsbFolder()));
}

TEST_F(VirtualHidTest, DestructorRemovesEverythingItCreated) {
    const fs::path fresh = temp.path() / "fresh" / "deeper";
    fs::path node;
    Fd c;
    {
        VirtualHidRoot root(fresh);
        root.Add(Model::Mouse);
        root.Add(Model::Headset);
        node = root.device(0).DevNode(1);
        c = Connect(node);
        ASSERT_TRUE(c.valid());
    }
    EXPECT_EQ(RecvMessage(c).status, RecvStatus::Eof);
    EXPECT_FALSE(Exists(temp.path() / "fresh")) << "folders it made are gone, parents included";
}

TEST_F(VirtualHidTest, ForeignEntriesAreKeptAndNumbersSkipThem) {
    // Someone else's device, made by hand, already in the root.
    fs::create_directories(rootDir /
                           "sys/devices/virtual-usb/usb1/1-1/1-1:1.0/0003:1111:2222.0007/hidraw/hidraw0");
    fs::create_directories(rootDir / "sys/class/hidraw");
    fs::create_directories(rootDir / "dev");
    fs::create_symlink("../../devices/virtual-usb/usb1/1-1/1-1:1.0/0003:1111:2222.0007/hidraw/hidraw0",
                       rootDir / "sys/class/hidraw/hidraw0");
    { std::ofstream(rootDir / "dev/hidraw0") << "x"; }
    { std::ofstream(rootDir / "dev/hidraw1") << "stale node without class link"; }
    { std::ofstream(rootDir / "keep.txt") << "mine"; }
    const std::vector<std::string> before = ListTree(rootDir);
    {
        VirtualHidRoot root(rootDir);
        VirtualDevice& d = root.Add(Model::Mouse);
        EXPECT_EQ(d.usbNumber(), 2);
        EXPECT_EQ(d.NodeName(0), "hidraw2");
        EXPECT_EQ(d.NodeName(1), "hidraw3");
        EXPECT_EQ(d.HidFolder(0).filename().string().substr(15), "0008");
        EXPECT_EQ(d.HidFolder(1).filename().string().substr(15), "0009");
        EXPECT_EQ(ReadText(rootDir / "dev/hidraw0"), "x");
        Fd c = Connect(d.DevNode(1));
        EXPECT_EQ(Ask(c, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);
    }
    EXPECT_EQ(ListTree(rootDir), before);
}

TEST_F(VirtualHidTest, TwoRootsShareOneFolder) {
    std::optional<VirtualHidRoot> first(std::in_place, rootDir);
    std::optional<VirtualHidRoot> second(std::in_place, rootDir);
    VirtualDevice& a = first->Add(Model::Mouse);
    VirtualDevice& b = second->Add(Model::Mouse);
    VirtualDevice& a2 = first->Add(Model::Mousepad);
    EXPECT_NE(a.usbNumber(), b.usbNumber());
    EXPECT_NE(a2.usbNumber(), b.usbNumber());
    std::set<std::string> names, serials;
    for (VirtualDevice* d : {&a, &b, &a2}) {
        for (int iface : d->interfaces()) {
            names.insert(d->NodeName(iface));
            serials.insert(d->HidFolder(iface).filename().string().substr(15));
        }
    }
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(serials.size(), 5u);

    Fd ca = Connect(a.DevNode(1));
    Fd cb = Connect(b.DevNode(1));
    EXPECT_EQ(Ask(ca, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);
    EXPECT_EQ(Ask(cb, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);
    EXPECT_EQ(RecvMessage(ca, 50).status, RecvStatus::Timeout) << "b's reply must not reach a's node";

    const fs::path bUsb = b.UsbFolder();
    second.reset();
    EXPECT_FALSE(Exists(bUsb));
    EXPECT_EQ(RecvMessage(cb).status, RecvStatus::Eof);
    EXPECT_TRUE(Exists(a.UsbFolder()));
    EXPECT_EQ(Ask(ca, MakeRequest(command::kEnd, 0, 0))[7], kStatusOk);
    Fd pad = Connect(a2.DevNode(1));
    EXPECT_EQ(Ask(pad, MakeRequest(command::kReadStatus, 6, 0))[8], 100);
    first.reset();
    EXPECT_FALSE(Exists(rootDir));
}

TEST_F(VirtualHidTest, AReaderThatNeverReadsDoesNotStallTheDevice) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mouse);
    Fd sleeper = Connect(d.DevNode(1));
    Fd active = Connect(d.DevNode(1));
    ASSERT_TRUE(Eventually([&] { return d.ConnectionCount(1) == 2; }));
    const std::vector<uint8_t> report = {3, 0x01, 0x04};
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(d.SendInput(1, report));
        if (i % 64 == 0) {  // keep the active reader drained
            while (RecvMessage(active, 0).status == RecvStatus::Data) {
            }
        }
    }
    EXPECT_GT(d.counters().droppedDeliveries, 0u);
    while (RecvMessage(active, 0).status == RecvStatus::Data) {
    }
    Report r = Ask(active, MakeRequest(command::kBegin, 0, 0));
    EXPECT_EQ(r[3], command::kBegin);
}

TEST_F(VirtualHidTest, FirmwareChangesFromTestsAreServed) {
    VirtualHidRoot root(rootDir);
    VirtualDevice& d = root.Add(Model::Mousepad);
    d.WithFirmware([](Firmware& fw) {
        fw.SetPowerStatus({55, 1, 0, 0, 7, 3});
        fw.SetActiveProfile(1);
    });
    Fd c = Connect(d.DevNode(1));
    Report status = Ask(c, MakeRequest(command::kReadStatus, 6, 0));
    EXPECT_EQ(std::vector<uint8_t>(status.begin() + 8, status.begin() + 14),
              (std::vector<uint8_t>{55, 1, 0, 0, 7, 3}));
    EXPECT_EQ(Ask(c, MakeRequest(command::kReadParameters, 1, 0))[8], 1);
}

}  // namespace
}  // namespace nurak::emu
