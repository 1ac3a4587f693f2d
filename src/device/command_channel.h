#pragma once

// The vendor command protocol over one HID interface: framed, checksummed
// 64-byte requests, each answered by one 64-byte reply; larger transfers are
// cut into chunks of at most 56 bytes.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/command_report.h"
#include "device/hid_device.h"

namespace nurak {

class DeviceCommandChannel {
public:
    static constexpr uint16_t kMaxImageSize = 512;
    static constexpr uint32_t kTimeoutMs = 1000;
    static constexpr uint32_t kSlowLinkTimeoutMs = 5000;
    static constexpr uint32_t kEndDelayMs = 10;
    static constexpr size_t kDeviceInfoSize = 34;

    DeviceCommandChannel();
    explicit DeviceCommandChannel(const HidRoot& root);
    DeviceCommandChannel(const DeviceCommandChannel&) = delete;
    DeviceCommandChannel& operator=(const DeviceCommandChannel&) = delete;

    // Transfer primitives.
    int Transfer(const uint8_t* request, size_t requestLength, uint8_t* reply, uint32_t replyLength,
                 uint32_t* bytesRead);
    int TransferQuick(const uint8_t* request, size_t requestLength, uint8_t* reply, uint32_t replyLength,
                      uint32_t* bytesRead);

    // Commands; each returns a result code (DeviceResult).
    int Begin();
    int End();
    int ReadDeviceInfo(uint8_t* record /* 34 bytes */);
    int ReadParameters(uint8_t* buffer, uint16_t length, uint16_t offset);
    int WriteParameters(const uint8_t* buffer, uint16_t length, uint16_t offset);
    int ReadKeyTable(uint8_t* buffer /* image size */);
    int WriteKeyTable(const uint8_t* buffer, int bank);
    int SendLightFrame(const uint8_t* buffer, uint16_t length);
    int WriteMacroData(const uint8_t* buffer, uint16_t length);
    int WriteRecoilData(const uint8_t* buffer, uint16_t length);
    int ReadStatus(uint8_t* buffer, uint16_t length, uint16_t offset);
    int ReadPerKeyTable(uint8_t* buffer /* image size / 3 */);
    bool Probe();

    bool SetImageSize(uint16_t size);
    uint16_t ImageSize() const { return imageSize_.load(); }

    // Set by the owner after the device opened, cleared before it closes.
    bool IsOpened() const { return opened_.load(); }
    void SetOpened(bool opened) { opened_ = opened; }
    bool IsBusy() const { return busy_.load(std::memory_order_relaxed) != 0; }
    bool SlowLink() const { return slowLink_.load(); }
    void SetSlowLink(bool on) { slowLink_ = on; }
    bool LightSync() const { return lightSync_.load(); }
    void SetLightSync(bool on) { lightSync_ = on; }

    HidDevice& device() { return device_; }
    // Held around each exchange (write and its reads) on the device; the owner
    // takes it while opening so no report is in flight meanwhile.
    std::mutex& transferLock() { return transferLock_; }

private:
    enum class LockKind { Command, Light, None };
    enum class Direction { Read, Write };

    // Moves `total` bytes in chunks starting at device offset `start`.
    int RunChunks(uint8_t command, Direction direction, uint8_t* readInto, const uint8_t* writeFrom,
                  size_t total, uint16_t start, size_t chunkSize, LockKind lock);
    // One report under the command lock; the reply is zeroed first.
    int ExchangeOne(const CommandReport& report, uint8_t* reply);
    int SingleCommand(uint8_t command);
    uint32_t Timeout() const { return slowLink_ ? kSlowLinkTimeoutMs : kTimeoutMs; }

    HidDevice device_;
    std::atomic<uint16_t> imageSize_{kMaxImageSize};
    std::atomic<uint8_t> busy_{0};
    std::atomic<bool> opened_{false};
    std::atomic<bool> lightSync_{false};
    std::atomic<bool> slowLink_{false};
    const uint8_t chunkSize_ = kMaxChunk;

    // Order: command -> transfer and light -> transfer; never the other way.
    std::mutex transferLock_;
    std::mutex commandLock_;
    std::mutex lightLock_;
};

}  // namespace nurak
