#pragma once

// The device side of the vendor command protocol: a model's memories and the
// handling of one 64-byte command report. No I/O; the server feeds it.
//
// Request (64 bytes): [0] report id 4, [1..2] checksum (LE), [3] command,
// [4] length, [5..6] offset (LE), [7] 0, [8..63] payload (at most 56 bytes).
// The checksum is the sum of bytes 3..63 in 32 bits, low 16 bits kept.
//
// Reply (64 bytes): [0] 4, [1..2] checksum computed the same way, [3] the
// command echoed, [4] length and [5..6] offset echoed, [7] status, [8..] the
// data of a read.
//
// Status: 0x00 done. 0xFE the request's checksum was wrong. 0xFF refused: an
// unknown command, a length above 56, or a read or write that does not lie
// wholly inside the memory the command addresses. A refused request changes
// nothing and its reply carries no data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "emulator/model.h"

namespace nurak::emu {

inline constexpr size_t kReportSize = 64;
inline constexpr size_t kMaxPayload = 56;
inline constexpr size_t kPayloadOffset = 8;
using Report = std::array<uint8_t, kReportSize>;

namespace command {
inline constexpr uint8_t kBegin = 1;
inline constexpr uint8_t kEnd = 2;
inline constexpr uint8_t kReadInfo = 3;
inline constexpr uint8_t kReadParameters = 5;
inline constexpr uint8_t kWriteParameters = 6;
inline constexpr uint8_t kReadKeyTable = 7;
inline constexpr uint8_t kWriteKeyTable = 9;
inline constexpr uint8_t kLightFrame = 18;
inline constexpr uint8_t kWriteMacro = 21;
inline constexpr uint8_t kWriteRecoil = 23;
inline constexpr uint8_t kReadStatus = 26;
inline constexpr uint8_t kReadPerKeyTable = 27;
inline constexpr uint8_t kProbe = 170;
}  // namespace command

inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusBadChecksum = 0xFE;
inline constexpr uint8_t kStatusRefused = 0xFF;

// Sum of bytes 3..63, low 16 bits.
uint16_t ReportChecksum(const Report& report);
// Stores ReportChecksum in bytes 1 (low) and 2 (high).
void SealReport(Report& report);
bool ChecksumValid(const Report& report);

// A sealed request as a client builds it (zero-filled, report id 4).
Report MakeRequest(uint8_t command, uint8_t length, uint16_t offset, std::span<const uint8_t> payload = {});
// The reply refusing a request with the given status: echo, length and
// offset copied, no data.
Report MakeRefusal(const Report& request, uint8_t status);

inline constexpr size_t kInfoSize = 34;
inline constexpr size_t kParameterSize = 1024;
inline constexpr size_t kPowerStatusSize = 6;

// Offsets inside the device information record.
namespace info {
inline constexpr size_t kKeyCount = 5;
inline constexpr size_t kMemoryUnits = 6;  // macro and recoil memory, 128 bytes each
inline constexpr size_t kSensorId = 9;     // 16-bit LE
inline constexpr size_t kDpiStep = 11;
inline constexpr size_t kDpiSliderMax = 12;  // 16-bit LE
inline constexpr size_t kDpiMinimum = 14;    // 16-bit LE
}  // namespace info

// A key function as the key table stores it: type, then two argument bytes.
struct KeyFunction {
    uint8_t type;
    uint8_t arg1;
    uint8_t arg2;
    bool operator==(const KeyFunction&) const = default;
};

// Factory functions of the logical keys: ten for the mice, 126 for the
// keyboard, row n belonging to logical key n.
std::span<const KeyFunction> MouseFactoryFunctions();
std::span<const KeyFunction> KeyboardFactoryFunctions();

class Firmware {
  public:
    explicit Firmware(Model model);

    Model model() const { return model_; }

    // Carries out one request and returns the reply. The caller passes
    // whole 64-byte reports; the report id byte is not examined.
    Report Handle(const Report& request);

    // Memories back to the state the device left the factory in; the
    // counters are kept.
    void ResetToFactory();
    void ResetCounters();

    // Byte 0 of parameter memory.
    void SetActiveProfile(uint8_t profile) { parameters_[0] = profile; }
    uint8_t activeProfile() const { return parameters_[0]; }

    // The 6-byte status that command 26 reads (mousepad: battery percent,
    // charging state, unused, link flag, value for the host, phone type).
    void SetPowerStatus(const std::array<uint8_t, kPowerStatusSize>& status) { power_ = status; }

    int keyCount() const { return keyCount_; }
    size_t memoryBytes() const { return macro_.size(); }
    // The logical key whose factory function sits at a physical position of
    // the factory table, -1 for none.
    int FactoryLogicalKeyAt(int position) const;

    // Views of the memories; tests may change them directly.
    std::span<uint8_t> info() { return info_; }
    std::span<uint8_t> parameters() { return parameters_; }
    std::span<uint8_t> keyTable() { return keyTable_; }
    std::span<uint8_t> perKeyTable() { return perKey_; }
    std::span<uint8_t> macroMemory() { return macro_; }
    std::span<uint8_t> recoilMemory() { return recoil_; }
    std::span<uint8_t> lightFrame() { return light_; }
    std::span<uint8_t> powerStatus() { return power_; }

    // Number of accepted light frame chunks that started a frame (offset 0).
    uint64_t lightFrameCount() const { return lightFrames_; }
    uint64_t beginCount() const { return begins_; }
    uint64_t endCount() const { return ends_; }
    // Between a Begin and the next End.
    bool inSequence() const { return inSequence_; }
    // Accepted writes that came outside a Begin ... End sequence.
    uint64_t writesOutsideSequence() const { return writesOutside_; }
    // Requests of a command that were carried out (status 0) or refused
    // (0xFF or 0xFE); a bad checksum counts as refused under the command
    // byte it carried.
    uint64_t HandledCount(uint8_t command) const { return handled_[command]; }
    uint64_t RefusedCount(uint8_t command) const { return refused_[command]; }
    uint64_t badChecksumCount() const { return badChecksums_; }
    uint64_t requestCount() const { return requests_; }
    const Report& lastRequest() const { return lastRequest_; }
    // Keeps a copy of every request handled from now on, for tests that
    // check the exact bytes a client sent.
    void RecordRequests(bool on) { recording_ = on; }
    const std::vector<Report>& recordedRequests() const { return recorded_; }

  private:
    uint8_t Execute(const Report& request, Report& reply);

    Model model_;
    int keyCount_ = 0;
    std::vector<int> factoryOrder_;  // logical key at each physical position
    std::array<uint8_t, kInfoSize> info_{};
    std::vector<uint8_t> parameters_;
    std::vector<uint8_t> keyTable_;
    std::vector<uint8_t> perKey_;
    std::vector<uint8_t> macro_;
    std::vector<uint8_t> recoil_;
    std::vector<uint8_t> light_;
    std::array<uint8_t, kPowerStatusSize> power_{};

    uint64_t lightFrames_ = 0;
    uint64_t begins_ = 0;
    uint64_t ends_ = 0;
    bool inSequence_ = false;
    uint64_t writesOutside_ = 0;
    uint64_t badChecksums_ = 0;
    uint64_t requests_ = 0;
    std::array<uint64_t, 256> handled_{};
    std::array<uint64_t, 256> refused_{};
    Report lastRequest_{};
    bool recording_ = false;
    std::vector<Report> recorded_;
};

}  // namespace nurak::emu
