#include "device/command_report.h"

#include <gtest/gtest.h>

#include <numeric>

namespace nurak {
namespace {

TEST(CommandReport, ChecksumOfCommandsWithoutData) {
    struct Case {
        uint8_t command;
        uint8_t low, high;
    };
    for (const Case c : {Case{kCmdBegin, 0x01, 0x00}, Case{kCmdProbe, 0xAA, 0x00}, Case{kCmdEnd, 0x02, 0x00}}) {
        CommandReport r(c.command);
        r.UpdateChecksum();
        EXPECT_EQ(r.bytes[0], 4);
        EXPECT_EQ(r.bytes[1], c.low) << int(c.command);
        EXPECT_EQ(r.bytes[2], c.high) << int(c.command);
    }
}

TEST(CommandReport, ChecksumCarriesIntoTheHighByte) {
    CommandReport r(0);
    // Bytes 3..63 summing to 300.
    r.bytes[10] = 200;
    r.bytes[63] = 100;
    r.UpdateChecksum();
    EXPECT_EQ(r.bytes[1], 0x2C);
    EXPECT_EQ(r.bytes[2], 0x01);
}

TEST(CommandReport, ChecksumIgnoresBytesZeroToTwoAndWrapsAt16Bits) {
    CommandReport r(0);
    r.bytes.fill(0xFF);
    r.UpdateChecksum();
    const uint32_t sum = 61u * 0xFF;  // bytes 3..63
    EXPECT_EQ(r.bytes[1], sum & 0xFF);
    EXPECT_EQ(r.bytes[2], (sum >> 8) & 0xFF);
}

TEST(CommandReport, ShorterChunkKeepsTheBytesOfThePreviousOne) {
    std::vector<uint8_t> data(85);
    std::iota(data.begin(), data.end(), uint8_t{1});
    CommandReport r(kCmdWriteParameters);
    r.SetChunk(56, 256, {data.data(), 56});
    EXPECT_EQ(r.bytes[4], 56);
    EXPECT_EQ(r.bytes[5], 0x00);
    EXPECT_EQ(r.bytes[6], 0x01);
    r.SetChunk(29, 312, {data.data() + 56, 29});
    EXPECT_EQ(r.bytes[5], 0x38);
    EXPECT_EQ(r.bytes[6], 0x01);
    for (size_t i = 0; i < 29; ++i) EXPECT_EQ(r.bytes[8 + i], data[56 + i]);
    for (size_t i = 29; i < 56; ++i) EXPECT_EQ(r.bytes[8 + i], data[i]) << "left over from chunk one at " << i;
    EXPECT_EQ(ReportChecksum(r.bytes), r.bytes[1] | r.bytes[2] << 8);
}

TEST(CommandReport, HexDumpLayout) {
    CommandReport r(kCmdBegin);
    r.UpdateChecksum();
    r.bytes[63] = 0xAB;
    const std::string expected =
        "04 01 00 01   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00\n"
        "00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 ab\n";
    EXPECT_EQ(FormatReportHex(r.bytes), expected);
}

TEST(CommandReport, StatusBytesToResults) {
    EXPECT_EQ(StatusResult(0x00), kResultOk);
    EXPECT_EQ(StatusResult(0x01), kResultOk);
    EXPECT_EQ(StatusResult(0xFD), kResultOk);
    EXPECT_EQ(StatusResult(0xFF), kResultStatusFF);
    EXPECT_EQ(StatusResult(0xFE), kResultStatusFE);
}

}  // namespace
}  // namespace nurak
