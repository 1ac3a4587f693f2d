#include "device/command_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <numeric>
#include <thread>

#include "platform/tick.h"
#include "platform/trace.h"
#include "virtual_device_fixture.h"

namespace nurak {
namespace {

using emu::FaultKind;
using emu::FaultRule;
using emu::Model;

class ChannelTest : public testing::VirtualDeviceTest {
protected:
    // A channel opened on the device's command interface, as the main window opens it.
    std::unique_ptr<DeviceCommandChannel> OpenOn(emu::VirtualDevice& d) {
        auto channel = std::make_unique<DeviceCommandChannel>(root());
        std::lock_guard lock(channel->transferLock());
        EXPECT_TRUE(channel->device().Open(CommandPath(d), true, true, true, false));
        channel->SetOpened(true);
        return channel;
    }
    static std::vector<emu::Report> Recorded(emu::VirtualDevice& d) {
        std::vector<emu::Report> out;
        d.WithFirmware([&](emu::Firmware& f) { out = f.recordedRequests(); });
        return out;
    }
    static void Record(emu::VirtualDevice& d) {
        d.WithFirmware([](emu::Firmware& f) { f.RecordRequests(true); });
    }
    static std::vector<uint8_t> Bytes(size_t n, uint8_t first = 1) {
        std::vector<uint8_t> v(n);
        std::iota(v.begin(), v.end(), first);
        return v;
    }
};

TEST_F(ChannelTest, NothingIsSentWhileNotOpened) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    DeviceCommandChannel channel(root());
    ASSERT_TRUE(channel.device().Open(CommandPath(mouse), true, true, true, false));  // opened, flag not set
    uint8_t buf[512] = {};
    EXPECT_EQ(channel.Begin(), kResultNoReply);
    EXPECT_EQ(channel.End(), kResultNoReply);
    EXPECT_EQ(channel.ReadDeviceInfo(buf), kResultNoReply);
    EXPECT_EQ(channel.WriteParameters(buf, 85, 0), kResultNoReply);
    EXPECT_EQ(channel.ReadKeyTable(buf), kResultNoReply);
    EXPECT_EQ(channel.SendLightFrame(buf, 21), kResultNoReply);
    EXPECT_EQ(channel.WriteRecoilData(buf, 60), kResultNoReply);
    EXPECT_EQ(channel.ReadStatus(buf, 6, 0), kResultNoReply);
    EXPECT_FALSE(channel.Probe());
    EXPECT_TRUE(Recorded(mouse).empty());
}

TEST_F(ChannelTest, ReadsTheDeviceInformationInOneChunk) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    auto channel = OpenOn(mouse);
    uint8_t info[34] = {};
    EXPECT_EQ(channel->Begin(), kResultOk);
    EXPECT_EQ(channel->ReadDeviceInfo(info), kResultOk);
    EXPECT_EQ(channel->End(), kResultOk);
    std::vector<uint8_t> expected;
    mouse.WithFirmware([&](emu::Firmware& f) { expected.assign(f.info().begin(), f.info().end()); });
    EXPECT_EQ(std::vector<uint8_t>(info, info + 34), expected);
    const auto sent = Recorded(mouse);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][3], kCmdBegin);
    EXPECT_EQ(sent[0][1], 0x01);
    EXPECT_EQ(sent[1][3], kCmdReadDeviceInfo);
    EXPECT_EQ(sent[1][4], 34);
    EXPECT_EQ(sent[1][5] | sent[1][6] << 8, 0);
    EXPECT_EQ(sent[2][3], kCmdEnd);
}

TEST_F(ChannelTest, ChunksLongTransfers) {
    struct Case {
        uint16_t length, offset;
        std::vector<std::pair<uint8_t, uint16_t>> chunks;  // length, offset
    };
    const Case cases[] = {
        {85, 256, {{56, 256}, {29, 312}}},
        {112, 0, {{56, 0}, {56, 56}}},
        {56, 128, {{56, 128}}},
        {57, 0, {{56, 0}, {1, 56}}},
        {1, 0, {{1, 0}}},
    };
    for (const auto& c : cases) {
        auto& mouse = Add(Model::Mouse);
        Record(mouse);
        auto channel = OpenOn(mouse);
        const auto data = Bytes(c.length);
        ASSERT_EQ(channel->WriteParameters(data.data(), c.length, c.offset), kResultOk);
        const auto sent = Recorded(mouse);
        ASSERT_EQ(sent.size(), c.chunks.size()) << c.length;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i][3], kCmdWriteParameters);
            EXPECT_EQ(sent[i][4], c.chunks[i].first) << c.length << " chunk " << i;
            EXPECT_EQ(sent[i][5] | sent[i][6] << 8, c.chunks[i].second) << c.length << " chunk " << i;
        }
        std::vector<uint8_t> stored;
        mouse.WithFirmware([&](emu::Firmware& f) {
            stored.assign(f.parameters().begin() + c.offset, f.parameters().begin() + c.offset + c.length);
        });
        EXPECT_EQ(stored, data);
    }
}

TEST_F(ChannelTest, ShortLastChunkCarriesTheEarlierBytesAndTheirChecksum) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    auto channel = OpenOn(mouse);
    const auto data = Bytes(85);
    ASSERT_EQ(channel->WriteParameters(data.data(), 85, 256), kResultOk);
    const auto sent = Recorded(mouse);
    ASSERT_EQ(sent.size(), 2u);
    const auto& second = sent[1];
    EXPECT_EQ(second[5], 0x38);
    EXPECT_EQ(second[6], 0x01);
    for (size_t i = 0; i < 29; ++i) EXPECT_EQ(second[8 + i], data[56 + i]);
    for (size_t i = 29; i < 56; ++i) EXPECT_EQ(second[8 + i], data[i]);
    uint32_t sum = 0;
    for (size_t i = 3; i < 64; ++i) sum += second[i];
    EXPECT_EQ(second[1], sum & 0xFF);
    EXPECT_EQ(second[2], (sum >> 8) & 0xFF);
    mouse.WithFirmware([](emu::Firmware& f) { EXPECT_EQ(f.badChecksumCount(), 0u); });
}

TEST_F(ChannelTest, KeyTableFollowsTheImageSize) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    int keys = 0;
    std::vector<uint8_t> factory;
    mouse.WithFirmware([&](emu::Firmware& f) {
        keys = f.keyCount();
        factory.assign(f.keyTable().begin(), f.keyTable().end());
    });
    EXPECT_EQ(channel->ImageSize(), 512);
    EXPECT_FALSE(channel->SetImageSize(513));
    EXPECT_EQ(channel->ImageSize(), 512);
    ASSERT_TRUE(channel->SetImageSize(static_cast<uint16_t>(keys * 3)));
    std::vector<uint8_t> table(512, 0xEE);
    ASSERT_EQ(channel->ReadKeyTable(table.data()), kResultOk);
    EXPECT_EQ(std::vector<uint8_t>(table.begin(), table.begin() + keys * 3), factory);
    EXPECT_EQ(table[keys * 3], 0xEE);  // nothing past the image

    std::swap(table[0], table[3]);
    std::swap(table[1], table[4]);
    std::swap(table[2], table[5]);
    ASSERT_EQ(channel->WriteKeyTable(table.data(), 0), kResultOk);
    mouse.WithFirmware([&](emu::Firmware& f) {
        EXPECT_TRUE(std::equal(f.keyTable().begin(), f.keyTable().end(), table.begin()));
    });
}

TEST_F(ChannelTest, EmptyImageAndBadBankSendNothing) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    auto channel = OpenOn(mouse);
    uint8_t table[512] = {};
    EXPECT_EQ(channel->WriteKeyTable(table, 1), kResultBadBank);
    EXPECT_EQ(channel->WriteKeyTable(table, -1), kResultBadBank);
    ASSERT_TRUE(channel->SetImageSize(0));
    EXPECT_EQ(channel->ReadKeyTable(table), kResultOk);
    EXPECT_EQ(channel->ReadPerKeyTable(table), kResultOk);
    EXPECT_TRUE(Recorded(mouse).empty());
}

TEST_F(ChannelTest, PerKeyTableIsAThirdOfTheImage) {
    auto& keyboard = Add(Model::Keyboard);
    Record(keyboard);
    auto channel = OpenOn(keyboard);
    int keys = 0;
    std::vector<uint8_t> expected;
    keyboard.WithFirmware([&](emu::Firmware& f) {
        keys = f.keyCount();
        expected.assign(f.perKeyTable().begin(), f.perKeyTable().end());
    });
    ASSERT_TRUE(channel->SetImageSize(static_cast<uint16_t>(keys * 3)));
    std::vector<uint8_t> perKey(512, 0);
    ASSERT_EQ(channel->ReadPerKeyTable(perKey.data()), kResultOk);
    EXPECT_EQ(std::vector<uint8_t>(perKey.begin(), perKey.begin() + keys), expected);
    size_t asked = 0;
    for (const auto& r : Recorded(keyboard)) asked += r[4];
    EXPECT_EQ(asked, static_cast<size_t>(keys));
}

TEST_F(ChannelTest, DeviceStatusEndsTheOperationAtThatChunk) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    auto channel = OpenOn(mouse);
    const auto data = Bytes(85);
    // Parameter memory ends at 1024: the first chunk fits, the second is refused.
    EXPECT_EQ(channel->WriteParameters(data.data(), 85, 960), kResultStatusFF);
    EXPECT_EQ(Recorded(mouse).size(), 2u);
    mouse.WithFirmware([&](emu::Firmware& f) {
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + 56, f.parameters().begin() + 960));
    });
}

TEST_F(ChannelTest, FaultsBecomeResultCodes) {
    struct Case {
        const char* name;
        FaultRule rule;
        int expected;
    };
    const Case cases[] = {
        {"status ff", {FaultKind::StatusFF, kCmdReadDeviceInfo, -1, 0}, kResultStatusFF},
        {"status fe", {FaultKind::StatusFE, kCmdReadDeviceInfo, -1, 0}, kResultStatusFE},
        {"no reply", {FaultKind::NoReply, kCmdReadDeviceInfo, -1, 0}, kResultNoReply},
        {"stale echo first", {FaultKind::StaleEcho, kCmdReadDeviceInfo, -1, 0}, kResultOk},
    };
    for (const auto& c : cases) {
        auto& mouse = Add(Model::Mouse);
        mouse.AddFault(c.rule);
        auto channel = OpenOn(mouse);
        uint8_t info[34] = {};
        EXPECT_EQ(channel->ReadDeviceInfo(info), c.expected) << c.name;
        if (c.expected == kResultOk) {
            mouse.WithFirmware([&](emu::Firmware& f) { EXPECT_TRUE(std::equal(info, info + 34, f.info().begin())); });
        }
    }
}

TEST_F(ChannelTest, LateReplyIsReadPastByTheNextExchange) {
    auto& mouse = Add(Model::Mouse);
    mouse.AddFault({FaultKind::LateReply, kCmdBegin, 1, 1300});
    auto channel = OpenOn(mouse);
    EXPECT_EQ(channel->Begin(), kResultNoReply);  // its reply comes after the 1000 ms
    SleepMs(400);
    uint8_t info[34] = {};
    EXPECT_EQ(channel->ReadDeviceInfo(info), kResultOk);
    mouse.WithFirmware([&](emu::Firmware& f) { EXPECT_TRUE(std::equal(info, info + 34, f.info().begin())); });
}

TEST_F(ChannelTest, AtMostTwoReadsWhateverTheSecondEcho) {
    // A late Begin reply, then a stale echo: both are read, the real reply stays queued.
    auto& mouse = Add(Model::Mouse);
    mouse.AddFault({FaultKind::LateReply, kCmdBegin, 1, 1300});
    mouse.AddFault({FaultKind::StaleEcho, kCmdProbe, 1, 0});
    auto channel = OpenOn(mouse);
    EXPECT_EQ(channel->Begin(), kResultNoReply);
    SleepMs(400);
    uint8_t request[64] = {4, kCmdProbe, 0, kCmdProbe};
    uint8_t reply[64] = {};
    EXPECT_EQ(channel->Transfer(request, sizeof request, reply, sizeof reply, nullptr), kResultOk);
    EXPECT_NE(reply[3], kCmdProbe);
    EXPECT_EQ(channel->Transfer(request, sizeof request, reply, sizeof reply, nullptr), kResultOk);
    EXPECT_EQ(reply[3], kCmdProbe);  // the real reply of the first probe
}

TEST_F(ChannelTest, ShortRequestsArePaddedWithZeros) {
    auto& mouse = Add(Model::Mouse);
    Record(mouse);
    auto channel = OpenOn(mouse);
    uint8_t request[12] = {4, kCmdBegin, 0, kCmdBegin};
    uint8_t reply[64];
    uint32_t got = 0;
    EXPECT_EQ(channel->Transfer(request, sizeof request, reply, sizeof reply, &got), kResultOk);
    EXPECT_EQ(got, 64u);
    const auto sent = Recorded(mouse);
    ASSERT_EQ(sent.size(), 1u);
    for (size_t i = 12; i < 64; ++i) EXPECT_EQ(sent[0][i], 0) << i;
}

TEST_F(ChannelTest, ProbeNeedsTheAnswerByte) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    EXPECT_TRUE(channel->Probe());
    mouse.AddFault({FaultKind::StatusFE, kCmdProbe, 1, 0});
    EXPECT_FALSE(channel->Probe());
    mouse.AddFault({FaultKind::NoReply, kCmdProbe, 1, 0});
    EXPECT_FALSE(channel->Probe());
    EXPECT_TRUE(channel->Probe());
}

TEST_F(ChannelTest, ReadStatusReadsOneReportAndRefusesLongLengths) {
    auto& pad = Add(Model::Mousepad);
    Record(pad);
    pad.WithFirmware([](emu::Firmware& f) { f.SetPowerStatus({80, 1, 0, 0, 7, 2}); });
    auto channel = OpenOn(pad);
    uint8_t status[64] = {};
    EXPECT_EQ(channel->ReadStatus(status, 57, 0), kResultNotWritten);
    EXPECT_TRUE(Recorded(pad).empty());
    ASSERT_EQ(channel->ReadStatus(status, 6, 0), kResultOk);
    const uint8_t expected[] = {80, 1, 0, 0, 7, 2};
    EXPECT_TRUE(std::equal(expected, expected + 6, status));
    const auto sent = Recorded(pad);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][3], kCmdReadStatus);
    EXPECT_EQ(sent[0][4], 6);
}

TEST_F(ChannelTest, MacroAndRecoilImagesLandInTheirMemories) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    const auto macro = Bytes(60, 10);
    const auto recoil = Bytes(130, 100);
    ASSERT_EQ(channel->WriteMacroData(macro.data(), 60), kResultOk);
    ASSERT_EQ(channel->WriteRecoilData(recoil.data(), 130), kResultOk);
    mouse.WithFirmware([&](emu::Firmware& f) {
        EXPECT_TRUE(std::equal(macro.begin(), macro.end(), f.macroMemory().begin()));
        EXPECT_TRUE(std::equal(recoil.begin(), recoil.end(), f.recoilMemory().begin()));
    });
}

TEST_F(ChannelTest, LightFramesAreSentUnlessBusyOrSlow) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    const auto frame = Bytes(21, 50);
    ASSERT_EQ(channel->SendLightFrame(frame.data(), 21), kResultOk);
    mouse.WithFirmware([&](emu::Firmware& f) {
        EXPECT_EQ(f.lightFrameCount(), 1u);
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), f.lightFrame().begin()));
    });
    channel->SetSlowLink(true);
    EXPECT_EQ(channel->SendLightFrame(frame.data(), 21), kResultOk);
    mouse.WithFirmware([](emu::Firmware& f) { EXPECT_EQ(f.lightFrameCount(), 1u); });
}

TEST_F(ChannelTest, LightFramesAreDroppedWhileATransferIsUnderWay) {
    auto& mouse = Add(Model::Mouse);
    mouse.SetLatency(100);
    auto channel = OpenOn(mouse);
    std::vector<std::string> traced;
    std::mutex tracedMutex;
    trace::SetSink([&](std::string_view t) {
        std::lock_guard lock(tracedMutex);
        traced.emplace_back(t);
    });
    trace::SetEnabled(true);
    auto ordinary = std::async(std::launch::async, [&] { return channel->Begin(); });
    while (!channel->IsBusy()) std::this_thread::yield();
    const auto frame = Bytes(21);
    EXPECT_EQ(channel->SendLightFrame(frame.data(), 21), kResultOk);
    EXPECT_EQ(ordinary.get(), kResultOk);
    trace::SetEnabled(false);
    trace::SetSink({});
    mouse.WithFirmware([](emu::Firmware& f) { EXPECT_EQ(f.lightFrameCount(), 0u); });
    EXPECT_NE(std::find(traced.begin(), traced.end(), "放弃灯光数据"), traced.end());
}

TEST_F(ChannelTest, TracesEveryReportAndReply) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    std::vector<std::string> traced;
    trace::SetSink([&](std::string_view t) { traced.emplace_back(t); });
    trace::SetEnabled(true);
    EXPECT_EQ(channel->Begin(), kResultOk);
    trace::SetEnabled(false);
    trace::SetSink({});
    ASSERT_EQ(traced.size(), 4u);
    EXPECT_EQ(traced[0], "命令");
    EXPECT_TRUE(traced[1].starts_with("04 01 00 01   00 00 00 00")) << traced[1];
    EXPECT_EQ(traced[2], "返回");
    EXPECT_TRUE(traced[3].starts_with("04 ")) << traced[3];
}

TEST_F(ChannelTest, UnplugMidSequenceFailsWithoutHanging) {
    auto& mouse = Add(Model::Mouse);
    mouse.AddFault({FaultKind::UnplugAfter, -1, 1, 0});
    auto channel = OpenOn(mouse);
    EXPECT_EQ(channel->Begin(), kResultOk);
    uint8_t info[34];
    const int result = channel->ReadDeviceInfo(info);
    EXPECT_TRUE(result == kResultNoReply || result == kResultNotWritten) << result;
}

TEST_F(ChannelTest, ThreadsShareAChannelSafely) {
    auto& mouse = Add(Model::Mouse);
    auto channel = OpenOn(mouse);
    std::atomic<int> failures{0};
    std::atomic<bool> stop{false};
    std::thread lights([&] {
        const auto frame = Bytes(21);
        while (!stop) {
            if (channel->SendLightFrame(frame.data(), 21) != kResultOk) ++failures;
        }
    });
    std::thread recoil([&] {
        const auto image = Bytes(120);
        for (int i = 0; i < 30; ++i)
            if (channel->WriteRecoilData(image.data(), 120) != kResultOk) ++failures;
    });
    for (int i = 0; i < 50; ++i) {
        uint8_t info[34];
        if (channel->ReadDeviceInfo(info) != kResultOk) ++failures;
    }
    recoil.join();
    stop = true;
    lights.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace nurak
