#pragma once

// One HID interface (one top-level collection of a hidraw node): listing of
// interface paths, open with access flags, capabilities, report buffers and
// whole-report I/O with a timeout that Close from another thread cuts short.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/hid_descriptor.h"
#include "device/hid_root.h"
#include "platform/event.h"

namespace nurak {

// One decoded item of a received report: a button capability or a single value usage.
struct HidData {
    bool isButton = false;
    uint16_t usagePage = 0;
    uint32_t status = hid::kStatusSuccess;  // the last decoding status for this entry
    uint32_t reportId = 0;
    bool isSet = false;  // filled by the last unpack
    // Button entry.
    uint32_t usageMin = 0;
    uint32_t usageMax = 0;
    uint32_t maxUsageListLength = 0;
    std::vector<uint16_t> usages;  // maxUsageListLength entries, 0 after the last usage that is on
    // Value entry.
    uint16_t usage = 0;
    uint32_t rawValue = 0;
    int32_t scaledValue = 0;
};

struct HidAttributes {
    uint32_t size = 12;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

class HidDevice {
public:
    HidDevice();
    explicit HidDevice(const HidRoot& root);
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // Lists one path per top-level collection of every hidraw node. Resets the
    // cursor. True when the listing reached its end normally.
    bool FindInterfaces();
    // The path under the cursor, then advances; null at the end. Owned here.
    const char* NextPath();
    void FreePaths();
    size_t PathCount() const { return paths_.size(); }
    const std::vector<std::string>& Paths() const { return paths_; }

    bool Open(std::string_view path, bool forRead, bool forWrite, bool overlapped, bool exclusive);
    // Safe from any thread and when already closed; a read or write waiting in
    // another thread returns false at once.
    void Close();
    bool IsOpen() const { return fd_ >= 0 || pathOnly_; }

    bool ReadReport(uint8_t* buffer, uint32_t length, uint32_t timeoutMs, uint32_t* transferred = nullptr);
    bool WriteReport(const uint8_t* buffer, uint32_t length, uint32_t timeoutMs, uint32_t* transferred = nullptr);

    static bool UnpackInputReport(HidData* data, size_t count, const uint8_t* report, uint32_t length,
                                  hid::ReportType type, const hid::Collection& preparsed);

    // Open state.
    const std::string& path() const { return path_; }
    const hid::Capabilities& caps() const { return preparsed_.caps; }
    const HidAttributes& attributes() const { return attributes_; }
    const hid::Collection& preparsed() const { return preparsed_; }
    uint32_t interfaceNumber() const { return interfaceNumber_; }
    uint32_t collectionNumber() const { return collectionNumber_; }
    std::vector<uint8_t>& reportBuffer(hid::ReportType t) { return reports_[Index(t)].buffer; }
    std::vector<HidData>& data(hid::ReportType t) { return reports_[Index(t)].data; }
    const std::vector<hid::ButtonCaps>& buttonCaps(hid::ReportType t) const { return preparsed_.Buttons(t); }
    const std::vector<hid::ValueCaps>& valueCaps(hid::ReportType t) const { return preparsed_.Values(t); }
    bool openedForRead() const { return forRead_; }
    bool openedForWrite() const { return forWrite_; }
    bool openedOverlapped() const { return overlapped_; }
    bool openedExclusive() const { return exclusive_; }

    // errno of the last failed Open or transfer (EACCES points at the udev rule).
    int lastError() const { return lastError_; }
    const HidRoot& root() const { return root_; }

private:
    struct ReportSet {
        std::vector<uint8_t> buffer;
        std::vector<HidData> data;
    };
    static int Index(hid::ReportType t) { return static_cast<int>(t); }

    void ReleaseOpenState();
    bool LoadDeviceInformation(std::string_view node, std::string_view path);
    // Registers an I/O call; false when the handle is closed or closing.
    bool BeginIo(std::atomic<bool>& waitingFlag, int& fd);
    void EndIo(std::atomic<bool>& waitingFlag);
    // Waits until fd is ready for `events` or the cancel event is raised.
    enum class WaitResult { Ready, Cancelled, TimedOut, Failed };
    WaitResult WaitFor(int fd, short events, uint64_t deadlineMs, bool infinite);

    HidRoot root_;
    std::vector<std::string> paths_;
    size_t cursor_ = 0;

    bool forRead_ = false;
    bool forWrite_ = false;
    bool overlapped_ = false;
    bool exclusive_ = false;

    int fd_ = -1;
    bool pathOnly_ = false;  // opened without access rights: nothing to read or write
    std::string path_;
    hid::Collection preparsed_;
    HidAttributes attributes_;
    ReportSet reports_[hid::kReportTypeCount];
    uint32_t interfaceNumber_ = 0;
    uint32_t collectionNumber_ = 0;
    bool stripReportId_ = false;  // node without report ids: reads carry no id byte

    Event cancel_{true};
    std::atomic<bool> reading_{false};
    std::atomic<bool> writing_{false};

    // Keeps the fd alive while a read or write in another thread uses it.
    std::mutex ioMutex_;
    std::condition_variable ioIdle_;
    int activeIo_ = 0;
    bool closing_ = false;

    std::vector<uint8_t> readScratch_;
    int lastError_ = 0;
};

}  // namespace nurak
