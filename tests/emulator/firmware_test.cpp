#include "emulator/firmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace nurak::emu {
namespace {

uint16_t Le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

std::vector<uint8_t> Copy(std::span<const uint8_t> s) {
    return {s.begin(), s.end()};
}

// Runs a request and checks what every reply must satisfy.
Report Exchange(Firmware& fw, const Report& request) {
    Report reply = fw.Handle(request);
    EXPECT_EQ(reply[0], 4);
    EXPECT_EQ(reply[3], request[3]) << "echo";
    EXPECT_EQ(reply[4], request[4]);
    EXPECT_EQ(reply[5], request[5]);
    EXPECT_EQ(reply[6], request[6]);
    EXPECT_TRUE(ChecksumValid(reply)) << "reply checksum";
    return reply;
}

std::vector<uint8_t> Data(const Report& reply, size_t length) {
    return {reply.begin() + kPayloadOffset, reply.begin() + kPayloadOffset + static_cast<ptrdiff_t>(length)};
}

// Reads a whole memory the way a client does, in chunks of at most 56.
std::vector<uint8_t> ReadAll(Firmware& fw, uint8_t command, size_t total) {
    std::vector<uint8_t> out;
    for (size_t pos = 0; pos < total; pos += kMaxPayload) {
        const auto chunk = static_cast<uint8_t>(std::min(kMaxPayload, total - pos));
        Report reply = Exchange(fw, MakeRequest(command, chunk, static_cast<uint16_t>(pos)));
        EXPECT_EQ(reply[7], kStatusOk) << "chunk at " << pos;
        auto d = Data(reply, chunk);
        out.insert(out.end(), d.begin(), d.end());
    }
    return out;
}

TEST(Checksum, SumsBytesThreeToSixtyThree) {
    struct Case {
        const char* name;
        std::vector<std::pair<size_t, uint8_t>> bytes;
        uint8_t low, high;
    };
    const Case cases[] = {
        {"begin", {{3, 1}}, 0x01, 0x00},
        {"probe", {{3, 170}}, 0xAA, 0x00},
        {"sum of 300", {{3, 200}, {40, 100}}, 0x2C, 0x01},
        {"bytes 0-2 are not summed", {{0, 4}, {1, 0x77}, {2, 0x88}, {3, 9}}, 0x09, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Report r{};
        for (auto [at, v] : c.bytes) r[at] = v;
        SealReport(r);
        EXPECT_EQ(r[1], c.low);
        EXPECT_EQ(r[2], c.high);
    }
    Report full;
    full.fill(0xFF);
    EXPECT_EQ(ReportChecksum(full), 61 * 255);  // no 8-bit overflow on the way
}

TEST(Firmware, BeginAndEndAnswerAndAreCounted) {
    Firmware fw(Model::Mouse);
    Report begin = MakeRequest(command::kBegin, 0, 0);
    EXPECT_EQ(begin[1], 1);
    EXPECT_EQ(begin[2], 0);
    Report reply = Exchange(fw, begin);
    EXPECT_EQ(reply[7], kStatusOk);
    EXPECT_TRUE(fw.inSequence());
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kEnd, 0, 0))[7], kStatusOk);
    EXPECT_FALSE(fw.inSequence());
    EXPECT_EQ(fw.beginCount(), 1u);
    EXPECT_EQ(fw.endCount(), 1u);
    EXPECT_EQ(fw.HandledCount(command::kBegin), 1u);
}

TEST(Firmware, ProbeAnswersWithFF) {
    Firmware fw(Model::Mouse);
    Report reply = Exchange(fw, MakeRequest(command::kProbe, 0, 0));
    EXPECT_EQ(reply[7], kStatusOk);
    EXPECT_EQ(reply[8], 0xFF);
}

TEST(Firmware, InformationRecordPerModel) {
    struct Case {
        Model model;
        uint8_t keys;
        uint8_t units;
        uint16_t sensor, step, sliderMax, dpiMin;
    };
    const Case cases[] = {
        {Model::Mouse, 8, 32, 0x3327, 100, 91, 200}, {Model::Mouse3389, 7, 32, 0x3389, 50, 319, 50},
        {Model::Keyboard, 126, 32, 0, 0, 0, 0},      {Model::Mousepad, 0, 0, 0, 0, 0, 0},
        {Model::Headset, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ModelName(c.model)));
        Firmware fw(c.model);
        Report reply = Exchange(fw, MakeRequest(command::kReadInfo, 34, 0));
        ASSERT_EQ(reply[7], kStatusOk);
        auto rec = Data(reply, 34);
        EXPECT_EQ(rec, Copy(fw.info()));
        EXPECT_EQ(rec[5], c.keys);
        EXPECT_EQ(rec[6], c.units);
        EXPECT_EQ(Le16(rec, 9), c.sensor);
        EXPECT_EQ(rec[11], c.step);
        EXPECT_EQ(Le16(rec, 12), c.sliderMax);
        EXPECT_EQ(Le16(rec, 14), c.dpiMin);
        EXPECT_EQ(fw.macroMemory().size(), c.units * 128u);
        EXPECT_EQ(fw.recoilMemory().size(), c.units * 128u);
        EXPECT_EQ(fw.keyTable().size(), c.keys * 3u);
        EXPECT_EQ(fw.perKeyTable().size(), c.keys);
    }
}

// Requests the device must refuse, and the memory each would have touched.
TEST(Firmware, RefusesBadRequestsAndChangesNothing) {
    struct Case {
        const char* name;
        Model model;
        Report request;
        uint8_t status;
    };
    std::vector<uint8_t> payload(56, 0xA5);
    Report badSum = MakeRequest(command::kWriteParameters, 4, 0, payload);
    badSum[1] ^= 0x01;
    Report tooLong = MakeRequest(command::kReadParameters, 0, 0);
    tooLong[4] = 57;
    SealReport(tooLong);
    const Case cases[] = {
        {"bad checksum", Model::Mouse, badSum, kStatusBadChecksum},
        {"length 57", Model::Mouse, tooLong, kStatusRefused},
        {"unknown command 4", Model::Mouse, MakeRequest(4, 0, 0), kStatusRefused},
        {"unknown command 0", Model::Mouse, MakeRequest(0, 0, 0), kStatusRefused},
        {"unknown command 200", Model::Mouse, MakeRequest(200, 0, 0), kStatusRefused},
        {"info past 34", Model::Mouse, MakeRequest(command::kReadInfo, 35, 0), kStatusRefused},
        {"info at offset 1", Model::Mouse, MakeRequest(command::kReadInfo, 34, 1), kStatusRefused},
        {"parameters read past the end", Model::Mouse, MakeRequest(command::kReadParameters, 25, 1000),
         kStatusRefused},
        {"parameters write across the end", Model::Mouse,
         MakeRequest(command::kWriteParameters, 56, 1000, payload), kStatusRefused},
        {"parameters write at a huge offset", Model::Mouse,
         MakeRequest(command::kWriteParameters, 1, 0xFFFF, payload), kStatusRefused},
        {"key table read past 8 keys", Model::Mouse, MakeRequest(command::kReadKeyTable, 2, 23),
         kStatusRefused},
        {"key table write past 7 keys", Model::Mouse3389,
         MakeRequest(command::kWriteKeyTable, 22, 0, payload), kStatusRefused},
        {"per-key table past 126", Model::Keyboard, MakeRequest(command::kReadPerKeyTable, 2, 125),
         kStatusRefused},
        {"macro across the end", Model::Keyboard, MakeRequest(command::kWriteMacro, 2, 4095, payload),
         kStatusRefused},
        {"recoil across the end", Model::Mouse, MakeRequest(command::kWriteRecoil, 56, 4090, payload),
         kStatusRefused},
        {"macro on a pad without memory", Model::Mousepad, MakeRequest(command::kWriteMacro, 1, 0, payload),
         kStatusRefused},
        {"light frame past 7 LEDs", Model::Mouse, MakeRequest(command::kLightFrame, 1, 21, payload),
         kStatusRefused},
        {"status past 6 bytes", Model::Mousepad, MakeRequest(command::kReadStatus, 7, 0), kStatusRefused},
        {"status at offset 5 length 2", Model::Mousepad, MakeRequest(command::kReadStatus, 2, 5),
         kStatusRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Firmware fw(c.model);
        Firmware factory(c.model);
        Report reply = Exchange(fw, c.request);
        EXPECT_EQ(reply[7], c.status);
        EXPECT_TRUE(std::all_of(reply.begin() + 8, reply.end(), [](uint8_t b) { return b == 0; }))
            << "a refusal carries no data";
        EXPECT_EQ(Copy(fw.parameters()), Copy(factory.parameters()));
        EXPECT_EQ(Copy(fw.keyTable()), Copy(factory.keyTable()));
        EXPECT_EQ(Copy(fw.macroMemory()), Copy(factory.macroMemory()));
        EXPECT_EQ(Copy(fw.recoilMemory()), Copy(factory.recoilMemory()));
        EXPECT_EQ(Copy(fw.lightFrame()), Copy(factory.lightFrame()));
        EXPECT_EQ(fw.lightFrameCount(), 0u);
        EXPECT_EQ(fw.RefusedCount(c.request[3]), 1u);
        EXPECT_EQ(fw.HandledCount(c.request[3]), 0u);
    }
}

TEST(Firmware, AcceptsRequestsThatEndExactlyAtTheEnd) {
    Firmware fw(Model::Keyboard);
    std::vector<uint8_t> two{0x11, 0x22};
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kWriteMacro, 2, 4094, two))[7], kStatusOk);
    EXPECT_EQ(fw.macroMemory()[4095], 0x22);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kReadParameters, 0, 1024))[7], kStatusOk);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kReadParameters, 56, 1024 - 56))[7], kStatusOk);
    Firmware pad(Model::Mousepad);
    EXPECT_EQ(Exchange(pad, MakeRequest(command::kReadStatus, 1, 5))[7], kStatusOk);
}

TEST(Firmware, ChunkedParameterWriteReadsBack) {
    // As a client sends 85 bytes at 256: one report reused, so the second
    // chunk still carries bytes of the first behind its 29 bytes.
    Firmware fw(Model::Mouse);
    std::vector<uint8_t> block(85);
    std::iota(block.begin(), block.end(), uint8_t{1});
    const std::vector<uint8_t> before = Copy(fw.parameters());

    Report r = MakeRequest(command::kWriteParameters, 56, 256, std::span(block).first(56));
    EXPECT_EQ(Exchange(fw, r)[7], kStatusOk);
    r[4] = 29;
    r[5] = 0x38;
    r[6] = 0x01;
    std::copy(block.begin() + 56, block.end(), r.begin() + 8);
    SealReport(r);
    EXPECT_EQ(Exchange(fw, r)[7], kStatusOk);

    Report first = Exchange(fw, MakeRequest(command::kReadParameters, 56, 256));
    Report second = Exchange(fw, MakeRequest(command::kReadParameters, 29, 312));
    std::vector<uint8_t> back = Data(first, 56);
    auto tail = Data(second, 29);
    back.insert(back.end(), tail.begin(), tail.end());
    EXPECT_EQ(back, block);
    EXPECT_TRUE(std::all_of(second.begin() + 8 + 29, second.end(), [](uint8_t b) { return b == 0; }));
    // Only the 85 bytes changed: nothing of the stale tail landed behind them.
    const std::vector<uint8_t> after = Copy(fw.parameters());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 256, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 341, after.end(), before.begin() + 341));
}

TEST(Firmware, ActiveProfileIsByteZeroOfParameters) {
    Firmware fw(Model::Mouse);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kReadParameters, 1, 0))[8], 0);
    fw.SetActiveProfile(2);
    EXPECT_EQ(fw.activeProfile(), 2);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kReadParameters, 1, 0))[8], 2);
    const uint8_t zero = 0;
    Exchange(fw, MakeRequest(command::kWriteParameters, 1, 0, std::span(&zero, 1)));
    EXPECT_EQ(fw.activeProfile(), 0);
}

TEST(Firmware, FactoryStagesLieWithinTheSlider) {
    // The page clamps codes to the slider; a factory code beyond it would be
    // lost on the first store.
    for (Model m : {Model::Mouse, Model::Mouse3389}) {
        SCOPED_TRACE(std::string(ModelName(m)));
        Firmware fw(m);
        const uint16_t sliderMax = Le16(fw.info(), info::kDpiSliderMax);
        const int bias = m == Model::Mouse3389 ? 1 : 0;  // the 3389 stores code + 1
        for (int profile = 0; profile < 4; ++profile) {
            auto block = fw.parameters().subspan(static_cast<size_t>(128 * profile), 56);
            EXPECT_LT(block[29], 7) << "current stage";
            EXPECT_LE(block[2], 4) << "brightness level";
            EXPECT_LE(block[3], 4) << "speed";
            for (int s = 0; s < 7; ++s) {
                EXPECT_LE(Le16(block, 15 + 2 * static_cast<size_t>(s)) - bias, sliderMax) << "stage " << s;
            }
        }
    }
}

// Where each logical key's factory function sits in a key table; -1 absent.
std::vector<int> Positions(std::span<const uint8_t> table, std::span<const KeyFunction> functions) {
    std::vector<int> out;
    for (const KeyFunction& f : functions) {
        int found = -1;
        for (size_t p = 0; 3 * p + 2 < table.size(); ++p) {
            if (table[3 * p] == f.type && table[3 * p + 1] == f.arg1 && table[3 * p + 2] == f.arg2) {
                found = static_cast<int>(p);
                break;
            }
        }
        out.push_back(found);
    }
    return out;
}

TEST(Firmware, MouseKeyTablesHoldTheFactoryFunctionsOutOfOrder) {
    struct Case {
        Model model;
        std::set<int> present;
    };
    const Case cases[] = {
        {Model::Mouse, {0, 1, 2, 3, 4, 5, 6, 7}},
        {Model::Mouse3389, {0, 1, 2, 3, 4, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ModelName(c.model)));
        Firmware fw(c.model);
        const std::vector<uint8_t> table =
            ReadAll(fw, command::kReadKeyTable, static_cast<size_t>(fw.keyCount()) * 3);
        EXPECT_EQ(table, Copy(fw.keyTable()));
        const std::vector<int> pos = Positions(table, MouseFactoryFunctions());
        ASSERT_EQ(pos.size(), 10u);
        bool outOfOrder = false;
        std::set<int> used;
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(pos[k] >= 0, c.present.count(k) == 1) << "logical key " << k;
            if (pos[k] >= 0) {
                EXPECT_TRUE(used.insert(pos[k]).second) << "two keys at one position";
                EXPECT_EQ(fw.FactoryLogicalKeyAt(pos[k]), k);
                if (pos[k] != k) outOfOrder = true;
            }
        }
        EXPECT_TRUE(outOfOrder) << "clients must search the table, not assume the logical order";
        EXPECT_EQ(used.size(), static_cast<size_t>(fw.keyCount()));
    }
}

TEST(Firmware, KeyboardKeyTableHoldsAllFactoryRows) {
    Firmware fw(Model::Keyboard);
    const std::vector<uint8_t> table = ReadAll(fw, command::kReadKeyTable, 126 * 3);
    auto functions = KeyboardFactoryFunctions();
    ASSERT_EQ(functions.size(), 126u);
    // Spot rows of the factory list.
    struct Row {
        int key;
        KeyFunction f;
    };
    const Row rows[] = {
        {0, {0x20, 0x00, 0x29}},   {1, {0x20, 0x00, 0x3A}},   {15, {0x20, 0x00, 0x48}},
        {16, {0xA0, 0x1B, 0x00}},  {17, {0xA0, 0x24, 0x00}},  {21, {0x20, 0x00, 0x35}},
        {22, {0x20, 0x00, 0x1E}},  {31, {0x20, 0x00, 0x27}},  {63, {0x20, 0x00, 0x39}},
        {84, {0x20, 0x02, 0x00}},  {95, {0x20, 0x20, 0x00}},  {104, {0x20, 0x00, 0x00}},
        {108, {0x20, 0x00, 0x2C}}, {110, {0xA0, 0x01, 0x00}}, {119, {0x20, 0x00, 0x57}},
        {120, {0xD0, 0xA2, 0x01}}, {124, {0xD0, 0xA2, 0x05}}, {125, {0x20, 0x80, 0x00}},
    };
    for (const Row& r : rows) EXPECT_EQ(functions[static_cast<size_t>(r.key)], r.f) << "key " << r.key;
    // Every position holds its logical key's function, and every key is somewhere.
    std::set<int> keys;
    for (int p = 0; p < 126; ++p) {
        const int k = fw.FactoryLogicalKeyAt(p);
        ASSERT_GE(k, 0);
        keys.insert(k);
        const KeyFunction f{table[3 * p], table[3 * p + 1], table[3 * p + 2]};
        EXPECT_EQ(f, functions[static_cast<size_t>(k)]) << "position " << p;
    }
    EXPECT_EQ(keys.size(), 126u);
    EXPECT_NE(fw.FactoryLogicalKeyAt(0), 0);
    // Per-key table: LED n under logical key n.
    const std::vector<uint8_t> perKey = ReadAll(fw, command::kReadPerKeyTable, 126);
    for (int p = 0; p < 126; ++p) EXPECT_EQ(perKey[p], fw.FactoryLogicalKeyAt(p));
}

TEST(Firmware, KeyTableWriteReadsBack) {
    Firmware fw(Model::Mouse);
    std::vector<uint8_t> image(24);
    std::iota(image.begin(), image.end(), uint8_t{0x40});
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kWriteKeyTable, 24, 0, image))[7], kStatusOk);
    EXPECT_EQ(ReadAll(fw, command::kReadKeyTable, 24), image);
}

TEST(Firmware, LightFramesAreStoredAndCounted) {
    Firmware fw(Model::Keyboard);  // 126 LEDs: a frame takes seven chunks
    std::vector<uint8_t> frame(378);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
    for (int n = 0; n < 2; ++n) {
        for (size_t pos = 0; pos < frame.size(); pos += 56) {
            const auto chunk = static_cast<uint8_t>(std::min<size_t>(56, frame.size() - pos));
            Report r = MakeRequest(command::kLightFrame, chunk, static_cast<uint16_t>(pos),
                                   std::span(frame).subspan(pos, chunk));
            EXPECT_EQ(Exchange(fw, r)[7], kStatusOk);
        }
    }
    EXPECT_EQ(Copy(fw.lightFrame()), frame);
    EXPECT_EQ(fw.lightFrameCount(), 2u);
    EXPECT_EQ(fw.writesOutsideSequence(), 0u) << "frames are sent outside Begin/End";
}

TEST(Firmware, MacroAndRecoilMemoriesAreSeparate) {
    Firmware fw(Model::Mouse);
    std::vector<uint8_t> macro{0xAA, 0x55, 0x10, 0x00};
    std::vector<uint8_t> recoil{0xAA, 0x55, 0x20, 0x00};
    Exchange(fw, MakeRequest(command::kBegin, 0, 0));
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kWriteMacro, 4, 0, macro))[7], kStatusOk);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kWriteRecoil, 4, 0, recoil))[7], kStatusOk);
    Exchange(fw, MakeRequest(command::kEnd, 0, 0));
    EXPECT_EQ(Copy(fw.macroMemory().first(4)), macro);
    EXPECT_EQ(Copy(fw.recoilMemory().first(4)), recoil);
    EXPECT_EQ(fw.writesOutsideSequence(), 0u);
    EXPECT_EQ(Exchange(fw, MakeRequest(command::kWriteMacro, 4, 8, macro))[7], kStatusOk);
    EXPECT_EQ(fw.writesOutsideSequence(), 1u);
}

TEST(Firmware, PowerStatusIsSettableAndReadInParts) {
    Firmware fw(Model::Mousepad);
    EXPECT_EQ(Data(Exchange(fw, MakeRequest(command::kReadStatus, 6, 0)), 6),
              (std::vector<uint8_t>{100, 0, 0, 0, 0, 0}));
    fw.SetPowerStatus({55, 1, 9, 0, 7, 2});
    EXPECT_EQ(Data(Exchange(fw, MakeRequest(command::kReadStatus, 6, 0)), 6),
              (std::vector<uint8_t>{55, 1, 9, 0, 7, 2}));
    EXPECT_EQ(Data(Exchange(fw, MakeRequest(command::kReadStatus, 2, 4)), 2), (std::vector<uint8_t>{7, 2}));
}

TEST(Firmware, ResetToFactoryRestoresMemoriesAndKeepsCounters) {
    Firmware fw(Model::Keyboard);
    const std::vector<uint8_t> params = Copy(fw.parameters());
    const std::vector<uint8_t> keys = Copy(fw.keyTable());
    std::vector<uint8_t> junk(56, 0x5A);
    Exchange(fw, MakeRequest(command::kWriteParameters, 56, 0, junk));
    Exchange(fw, MakeRequest(command::kWriteKeyTable, 56, 0, junk));
    Exchange(fw, MakeRequest(command::kWriteMacro, 56, 0, junk));
    fw.SetPowerStatus({1, 2, 3, 4, 5, 6});
    fw.ResetToFactory();
    EXPECT_EQ(Copy(fw.parameters()), params);
    EXPECT_EQ(Copy(fw.keyTable()), keys);
    EXPECT_TRUE(
        std::all_of(fw.macroMemory().begin(), fw.macroMemory().end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(fw.powerStatus()[0], 0);
    EXPECT_EQ(fw.HandledCount(command::kWriteParameters), 1u);
    fw.ResetCounters();
    EXPECT_EQ(fw.HandledCount(command::kWriteParameters), 0u);
    EXPECT_EQ(fw.requestCount(), 0u);
}

}  // namespace
}  // namespace nurak::emu
