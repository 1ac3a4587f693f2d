#include "device/command_channel.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/tick.h"
#include "platform/trace.h"

namespace nurak {

namespace {

std::array<uint8_t, kCommandReportSize> Padded(const uint8_t* request, size_t length) {
    std::array<uint8_t, kCommandReportSize> out{};
    if (request) std::memcpy(out.data(), request, std::min(length, kCommandReportSize));
    return out;
}

void TraceReport(const char* title, std::span<const uint8_t, kCommandReportSize> bytes) {
    if (!trace::Enabled()) return;
    trace::Write(title);
    trace::Write(FormatReportHex(bytes));
}

// The reply as the trace shows it: a short reply is shown zero-padded.
std::array<uint8_t, kCommandReportSize> ReplyView(const uint8_t* reply, uint32_t length) {
    return Padded(reply, length);
}

}  // namespace

DeviceCommandChannel::DeviceCommandChannel() = default;

DeviceCommandChannel::DeviceCommandChannel(const HidRoot& root) : device_(root) {}

int DeviceCommandChannel::Transfer(const uint8_t* request, size_t requestLength, uint8_t* reply,
                                   uint32_t replyLength, uint32_t* bytesRead) {
    busy_.store(1, std::memory_order_relaxed);
    if (bytesRead) *bytesRead = 0;
    int result = kResultNoReply;
    if (opened_) {
        const auto out = Padded(request, requestLength);
        TraceReport("命令", out);
        const uint32_t timeout = Timeout();
        // The lock spans the write and its reads: with two exchanges in flight
        // one could take the other's reply, and the echo check cannot give a
        // consumed reply back.
        std::lock_guard lock(transferLock_);
        if (!device_.WriteReport(out.data(), kCommandReportSize, timeout)) {
            result = kResultNotWritten;
        } else {
            bool got = device_.ReadReport(reply, replyLength, timeout, bytesRead);
            // A reply that came too late for an earlier request is read past
            // once; the next one counts whatever its echo.
            if (got && replyLength > 3 && reply[3] != out[3])
                got = device_.ReadReport(reply, replyLength, timeout, bytesRead);
            result = got ? kResultOk : kResultNoReply;
            if (got) TraceReport("返回", ReplyView(reply, replyLength));
        }
    }
    busy_.store(0, std::memory_order_relaxed);
    return result;
}

int DeviceCommandChannel::TransferQuick(const uint8_t* request, size_t requestLength, uint8_t* reply,
                                        uint32_t replyLength, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!opened_) return kResultNoReply;
    const auto out = Padded(request, requestLength);
    std::lock_guard lock(transferLock_);
    if (!device_.WriteReport(out.data(), kCommandReportSize, kTimeoutMs)) return kResultNotWritten;
    return device_.ReadReport(reply, replyLength, kTimeoutMs, bytesRead) ? kResultOk : kResultNoReply;
}

int DeviceCommandChannel::RunChunks(uint8_t command, Direction direction, uint8_t* readInto,
                                    const uint8_t* writeFrom, size_t total, uint16_t start, size_t chunkSize,
                                    LockKind lock) {
    CommandReport report(command);
    uint8_t reply[kCommandReportSize];
    for (size_t position = 0; position < total; position += chunkSize) {
        const size_t chunk = position + chunkSize < total ? chunkSize : total - position;
        const auto offset = static_cast<uint16_t>(start + position);
        if (direction == Direction::Write)
            report.SetChunk(static_cast<uint8_t>(chunk), offset, {writeFrom + position, chunk});
        else
            report.SetChunk(static_cast<uint8_t>(chunk), offset);

        std::memset(reply, 0, sizeof reply);
        int result;
        if (command == kCmdLightFrame) {
            if (busy_.load(std::memory_order_relaxed)) {
                // An ordinary transfer is under way: this frame is not worth delaying it.
                trace::Write("放弃灯光数据");
                continue;
            }
            if (slowLink_) continue;
            std::lock_guard guard(lightLock_);
            result = TransferQuick(report.bytes.data(), kCommandReportSize, reply, sizeof reply, nullptr);
        } else if (lock == LockKind::Command) {
            std::lock_guard guard(commandLock_);
            result = Transfer(report.bytes.data(), kCommandReportSize, reply, sizeof reply, nullptr);
        } else {
            result = Transfer(report.bytes.data(), kCommandReportSize, reply, sizeof reply, nullptr);
        }
        if (result != kResultOk) return result;
        const int status = StatusResult(reply[7]);
        if (status != kResultOk) return status;
        if (direction == Direction::Read) std::memcpy(readInto + position, reply + kPayloadOffset, chunk);
    }
    return kResultOk;
}

int DeviceCommandChannel::ExchangeOne(const CommandReport& report, uint8_t* reply) {
    std::memset(reply, 0, kCommandReportSize);
    std::lock_guard guard(commandLock_);
    return Transfer(report.bytes.data(), kCommandReportSize, reply, kCommandReportSize, nullptr);
}

int DeviceCommandChannel::SingleCommand(uint8_t command) {
    CommandReport report(command);
    report.UpdateChecksum();
    uint8_t reply[kCommandReportSize];
    const int result = ExchangeOne(report, reply);
    return result == kResultOk ? StatusResult(reply[7]) : result;
}

int DeviceCommandChannel::Begin() { return SingleCommand(kCmdBegin); }

int DeviceCommandChannel::End() {
    SleepMs(kEndDelayMs);
    return SingleCommand(kCmdEnd);
}

int DeviceCommandChannel::ReadDeviceInfo(uint8_t* record) {
    return RunChunks(kCmdReadDeviceInfo, Direction::Read, record, nullptr, kDeviceInfoSize, 0, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::ReadParameters(uint8_t* buffer, uint16_t length, uint16_t offset) {
    return RunChunks(kCmdReadParameters, Direction::Read, buffer, nullptr, length, offset, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::WriteParameters(const uint8_t* buffer, uint16_t length, uint16_t offset) {
    return RunChunks(kCmdWriteParameters, Direction::Write, nullptr, buffer, length, offset, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::ReadKeyTable(uint8_t* buffer) {
    return RunChunks(kCmdReadKeyTable, Direction::Read, buffer, nullptr, imageSize_, 0, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::WriteKeyTable(const uint8_t* buffer, int bank) {
    if (bank != 0) return kResultBadBank;
    return RunChunks(kCmdWriteKeyTable, Direction::Write, nullptr, buffer, imageSize_, 0, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::SendLightFrame(const uint8_t* buffer, uint16_t length) {
    return RunChunks(kCmdLightFrame, Direction::Write, nullptr, buffer, length, 0, chunkSize_, LockKind::Light);
}

int DeviceCommandChannel::WriteMacroData(const uint8_t* buffer, uint16_t length) {
    return RunChunks(kCmdWriteMacroData, Direction::Write, nullptr, buffer, length, 0, chunkSize_,
                     LockKind::Command);
}

int DeviceCommandChannel::WriteRecoilData(const uint8_t* buffer, uint16_t length) {
    // Recoil chunks run without the command lock and always at 56 bytes.
    return RunChunks(kCmdWriteRecoilData, Direction::Write, nullptr, buffer, length, 0, kMaxChunk, LockKind::None);
}

int DeviceCommandChannel::ReadStatus(uint8_t* buffer, uint16_t length, uint16_t offset) {
    // One report only; the reply cannot carry more than one chunk.
    if (length > kMaxChunk) return kResultNotWritten;
    CommandReport report(kCmdReadStatus);
    report.SetChunk(static_cast<uint8_t>(length), offset);
    uint8_t reply[kCommandReportSize];
    const int result = ExchangeOne(report, reply);
    if (result != kResultOk) return result;
    const int status = StatusResult(reply[7]);
    if (status != kResultOk) return status;
    std::memcpy(buffer, reply + kPayloadOffset, length);
    return kResultOk;
}

int DeviceCommandChannel::ReadPerKeyTable(uint8_t* buffer) {
    return RunChunks(kCmdReadPerKeyTable, Direction::Read, buffer, nullptr, imageSize_ / 3, 0, chunkSize_,
                     LockKind::Command);
}

bool DeviceCommandChannel::Probe() {
    CommandReport report(kCmdProbe);
    report.UpdateChecksum();
    uint8_t reply[kCommandReportSize];
    const int result = ExchangeOne(report, reply);
    return result == kResultOk && reply[7] != kStatusRefusedFF && reply[7] != kStatusRefusedFE && reply[8] == 0xFF;
}

bool DeviceCommandChannel::SetImageSize(uint16_t size) {
    if (size > kMaxImageSize) return false;
    imageSize_ = size;
    return true;
}

}  // namespace nurak
