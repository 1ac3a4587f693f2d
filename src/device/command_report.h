#pragma once

// The 64-byte vendor command report and the helpers every exchange uses.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace nurak {

inline constexpr size_t kCommandReportSize = 64;
inline constexpr uint8_t kCommandReportId = 4;
inline constexpr size_t kPayloadOffset = 8;
inline constexpr size_t kMaxChunk = 56;

enum CommandCode : uint8_t {
    kCmdBegin = 1,
    kCmdEnd = 2,
    kCmdReadDeviceInfo = 3,
    kCmdReadParameters = 5,
    kCmdWriteParameters = 6,
    kCmdReadKeyTable = 7,
    kCmdWriteKeyTable = 9,
    kCmdLightFrame = 18,
    kCmdWriteMacroData = 21,
    kCmdWriteRecoilData = 23,
    kCmdReadStatus = 26,
    kCmdReadPerKeyTable = 27,
    kCmdProbe = 170,
};

// Result codes of device operations.
enum DeviceResult : int {
    kResultOk = 1,
    kResultNoReply = 0,  // also: channel not opened
    kResultNotWritten = -1,
    kResultStatusFF = -102,
    kResultStatusFE = -103,
    kResultBadBank = -201,
};

// Reply byte 7 values that refuse a request.
inline constexpr uint8_t kStatusRefusedFF = 0xFF;
inline constexpr uint8_t kStatusRefusedFE = 0xFE;

// Turns a reply status byte into a result code.
inline int StatusResult(uint8_t status) {
    return status == kStatusRefusedFF ? kResultStatusFF : status == kStatusRefusedFE ? kResultStatusFE : kResultOk;
}

struct CommandReport {
    std::array<uint8_t, kCommandReportSize> bytes{};

    // Zeroed, with report id and command set; reused for every chunk.
    explicit CommandReport(uint8_t command);

    uint8_t command() const { return bytes[3]; }
    // Length, offset and payload of one chunk; bytes behind the payload keep
    // what an earlier chunk left there. The checksum is set last.
    void SetChunk(uint8_t length, uint16_t offset, std::span<const uint8_t> payload = {});
    void UpdateChecksum();
};

// Sum of bytes 3..63, as the device checks it.
uint16_t ReportChecksum(std::span<const uint8_t, kCommandReportSize> report);

// Two lines of 32 lower-case hex bytes, groups of four; the groups of the
// first sixteen bytes of a line are three spaces apart, the others two.
std::string FormatReportHex(std::span<const uint8_t, kCommandReportSize> report);

}  // namespace nurak
