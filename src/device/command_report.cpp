#include "device/command_report.h"

#include <algorithm>

namespace nurak {

CommandReport::CommandReport(uint8_t command) {
    bytes[0] = kCommandReportId;
    bytes[3] = command;
}

void CommandReport::SetChunk(uint8_t length, uint16_t offset, std::span<const uint8_t> payload) {
    bytes[4] = length;
    bytes[5] = static_cast<uint8_t>(offset & 0xFF);
    bytes[6] = static_cast<uint8_t>(offset >> 8);
    const size_t n = std::min(payload.size(), kMaxChunk);
    std::copy_n(payload.begin(), n, bytes.begin() + kPayloadOffset);
    UpdateChecksum();
}

void CommandReport::UpdateChecksum() {
    const uint16_t sum = ReportChecksum(bytes);
    bytes[1] = static_cast<uint8_t>(sum & 0xFF);
    bytes[2] = static_cast<uint8_t>(sum >> 8);
}

uint16_t ReportChecksum(std::span<const uint8_t, kCommandReportSize> report) {
    uint32_t sum = 0;
    for (size_t i = 3; i < kCommandReportSize; ++i) sum += report[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

std::string FormatReportHex(std::span<const uint8_t, kCommandReportSize> report) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(64 * 3 + 40);
    for (size_t line = 0; line < 2; ++line) {
        for (size_t i = 0; i < 32; ++i) {
            if (i > 0) {
                if (i % 4 != 0) out += ' ';
                else out += i <= 12 ? "   " : "  ";
            }
            const uint8_t b = report[line * 32 + i];
            out += kDigits[b >> 4];
            out += kDigits[b & 0xF];
        }
        out += '\n';
    }
    return out;
}

}  // namespace nurak
