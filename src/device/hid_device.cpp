#include "device/hid_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/device_path.h"
#include "device/hid_enumerate.h"
#include "platform/tick.h"

namespace nurak {

namespace {

// Largest report hidraw hands out, plus room for the id byte we prepend.
constexpr size_t kMaxReport = 4096 + 1;
// A descriptor can declare huge value ranges; past this many entries a report
// type's table stops growing (the decoded entries keep their order).
constexpr size_t kMaxHidData = 8192;

int ConnectSocket(const char* node, int& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(node) >= sizeof addr.sun_path) {
        error = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(addr.sun_path, node);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void FillEntries(const hid::Collection& c, hid::ReportType type, std::vector<HidData>& out) {
    out.clear();
    const auto& buttons = c.Buttons(type);
    const auto& values = c.Values(type);
    size_t valueUsages = 0;
    for (const auto& v : values) valueUsages += v.isRange ? size_t{v.usageMax} - v.usageMin + 1 : 1;
    out.reserve(std::min(buttons.size() + valueUsages, kMaxHidData));

    for (const auto& b : buttons) {
        if (out.size() >= kMaxHidData) return;
        HidData d;
        d.isButton = true;
        d.usagePage = b.usagePage;
        d.usageMin = b.usageMin;
        d.usageMax = b.isRange ? b.usageMax : b.usageMin;
        d.maxUsageListLength = hid::MaxUsageListLength(c, type, b.usagePage);
        d.usages.assign(d.maxUsageListLength, 0);
        d.reportId = b.reportId;
        out.push_back(std::move(d));
    }
    for (const auto& v : values) {
        const uint32_t first = v.usageMin;
        const uint32_t last = v.isRange ? v.usageMax : v.usageMin;
        for (uint32_t u = first; u <= last; ++u) {
            if (out.size() >= kMaxHidData) return;
            HidData d;
            d.usagePage = v.usagePage;
            d.usage = static_cast<uint16_t>(u);
            d.reportId = v.reportId;
            out.push_back(std::move(d));
        }
    }
}

}  // namespace

HidDevice::HidDevice() : HidDevice(CurrentHidRoot()) {}

HidDevice::HidDevice(const HidRoot& root) : root_(root), readScratch_(kMaxReport) {}

HidDevice::~HidDevice() {
    Close();
    FreePaths();
}

bool HidDevice::FindInterfaces() {
    cursor_ = 0;
    paths_.clear();
    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(root_, interfaces)) return false;
    paths_.reserve(interfaces.size());
    for (auto& i : interfaces) paths_.push_back(std::move(i.path));
    return true;
}

const char* HidDevice::NextPath() {
    if (cursor_ >= paths_.size()) return nullptr;
    return paths_[cursor_++].c_str();
}

void HidDevice::FreePaths() {
    paths_.clear();
    paths_.shrink_to_fit();
    cursor_ = 0;
}

bool HidDevice::LoadDeviceInformation(std::string_view node, std::string_view path) {
    const size_t slash = node.rfind('/');
    const std::string name(slash == std::string_view::npos ? node : node.substr(slash + 1));
    HidNodeInfo info;
    if (!ReadHidNodeInfo(root_, name, info)) {
        lastError_ = ENODEV;
        return false;
    }
    hid::ReportDescriptor descriptor;
    if (!hid::ParseReportDescriptor(info.descriptor, descriptor) || descriptor.collections.empty()) {
        lastError_ = EINVAL;
        return false;
    }
    // A path without "&col" names a node with a single top-level collection.
    const bool hasCollectionKey = PathHasKey(path, "&col");
    size_t index;
    if (collectionNumber_ > 0) {
        index = collectionNumber_ - 1;
    } else if (!hasCollectionKey && descriptor.collections.size() == 1) {
        index = 0;
    } else {
        lastError_ = EINVAL;
        return false;
    }
    if (index >= descriptor.collections.size()) {
        lastError_ = ENOENT;
        return false;
    }
    preparsed_ = std::move(descriptor.collections[index]);
    stripReportId_ = !descriptor.usesReportIds;
    attributes_.vendorId = info.vendorId;
    attributes_.productId = info.productId;
    attributes_.versionNumber = info.version;
    for (int t = 0; t < hid::kReportTypeCount; ++t) {
        const auto type = static_cast<hid::ReportType>(t);
        const uint16_t len = t == 0   ? preparsed_.caps.inputReportByteLength
                             : t == 1 ? preparsed_.caps.outputReportByteLength
                                      : preparsed_.caps.featureReportByteLength;
        reports_[t].buffer.assign(len, 0);
        FillEntries(preparsed_, type, reports_[t].data);
    }
    return true;
}

bool HidDevice::Open(std::string_view path, bool forRead, bool forWrite, bool overlapped, bool exclusive) {
    Close();
    forRead_ = forRead;
    forWrite_ = forWrite;
    overlapped_ = overlapped;
    exclusive_ = exclusive;
    path_.assign(path);  // whole paths are kept, however long
    lastError_ = 0;
    interfaceNumber_ = PathInterfaceNumber(path);
    collectionNumber_ = PathCollectionNumber(path);

    const std::string node(PathNode(path));
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) {
        lastError_ = errno;
        path_.clear();
        return false;
    }
    if (!LoadDeviceInformation(node, path)) {
        ReleaseOpenState();
        return false;
    }

    int fd = -1;
    if (!forRead && !forWrite) {
        // Opened for attributes only, like a handle without access rights.
        pathOnly_ = true;
        return true;
    }
    if (S_ISSOCK(st.st_mode)) {
        fd = ConnectSocket(node.c_str(), lastError_);
    } else {
        const int mode = forRead && forWrite ? O_RDWR : forWrite ? O_WRONLY : O_RDONLY;
        fd = ::open(node.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) lastError_ = errno;
        // Sharing: an exclusive handle keeps every other of ours out, and the other way round.
        if (fd >= 0 && ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            lastError_ = EBUSY;
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        ReleaseOpenState();
        return false;
    }
    std::lock_guard lock(ioMutex_);
    fd_ = fd;
    return true;
}

void HidDevice::ReleaseOpenState() {
    preparsed_ = hid::Collection{};
    attributes_ = HidAttributes{};
    for (auto& r : reports_) {
        r.buffer.clear();
        r.data.clear();
    }
    interfaceNumber_ = 0;
    collectionNumber_ = 0;
    stripReportId_ = false;
    pathOnly_ = false;
    path_.clear();
}

void HidDevice::Close() {
    int fd;
    {
        std::unique_lock lock(ioMutex_);
        closing_ = true;
        if (reading_.load() || writing_.load() || activeIo_ > 0) cancel_.Set();
        ioIdle_.wait(lock, [this] { return activeIo_ == 0; });
        fd = fd_;
        fd_ = -1;
        cancel_.Reset();
        closing_ = false;
    }
    if (fd >= 0) ::close(fd);
    if (fd >= 0 || pathOnly_ || !path_.empty()) ReleaseOpenState();
}

bool HidDevice::BeginIo(std::atomic<bool>& waitingFlag, int& fd) {
    std::lock_guard lock(ioMutex_);
    if (fd_ < 0 || closing_) return false;
    ++activeIo_;
    waitingFlag = true;
    fd = fd_;
    return true;
}

void HidDevice::EndIo(std::atomic<bool>& waitingFlag) {
    std::lock_guard lock(ioMutex_);
    waitingFlag = false;
    if (--activeIo_ == 0) ioIdle_.notify_all();
}

HidDevice::WaitResult HidDevice::WaitFor(int fd, short events, uint64_t deadlineMs, bool infinite) {
    for (;;) {
        int waitMs = -1;
        if (!infinite) {
            const uint64_t now = TickCount64();
            waitMs = now >= deadlineMs ? 0 : static_cast<int>(deadlineMs - now);
        }
        pollfd fds[2] = {{cancel_.fd(), POLLIN, 0}, {fd, events, 0}};
        const int n = ::poll(fds, 2, waitMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return WaitResult::Failed;
        }
        if (fds[0].revents & POLLIN) return WaitResult::Cancelled;
        if (fds[1].revents & events) return WaitResult::Ready;
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            lastError_ = ENODEV;
            return WaitResult::Failed;
        }
        if (n == 0) return WaitResult::TimedOut;
    }
}

bool HidDevice::ReadReport(uint8_t* buffer, uint32_t length, uint32_t timeoutMs, uint32_t* transferred) {
    if (transferred) *transferred = 0;
    if (!buffer || length == 0 || !forRead_) return false;
    int fd;
    if (!BeginIo(reading_, fd)) return false;

    const bool infinite = timeoutMs == kInfinite;
    const uint64_t deadline = TickCount64() + (infinite ? 0 : timeoutMs);
    bool ok = false;
    uint32_t count = 0;
    for (;;) {
        if (WaitFor(fd, POLLIN, deadline, infinite) != WaitResult::Ready) break;
        // Without report ids the node gives the data alone; callers expect an id byte of 0 first.
        uint8_t* const into = stripReportId_ ? readScratch_.data() + 1 : readScratch_.data();
        const size_t room = stripReportId_ ? readScratch_.size() - 1 : readScratch_.size();
        const ssize_t n = ::read(fd, into, room);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            lastError_ = errno;
            break;
        }
        if (n == 0) {  // the virtual device went away
            lastError_ = ENODEV;
            break;
        }
        readScratch_[0] = stripReportId_ ? 0 : readScratch_[0];
        const size_t got = static_cast<size_t>(n) + (stripReportId_ ? 1 : 0);
        // The node delivers every collection's reports; keep only this one's.
        if (!stripReportId_ && !preparsed_.OwnsReportId(readScratch_[0])) continue;
        // A short report is padded to the collection's input length, as Windows does.
        const size_t full = std::max<size_t>(got, preparsed_.caps.inputReportByteLength);
        count = static_cast<uint32_t>(std::min<size_t>(length, full));
        const size_t copied = std::min<size_t>(count, got);
        std::memcpy(buffer, readScratch_.data(), copied);
        std::memset(buffer + copied, 0, count - copied);
        ok = true;
        break;
    }
    EndIo(reading_);
    if (transferred) *transferred = ok ? count : 0;
    return ok;
}

bool HidDevice::WriteReport(const uint8_t* buffer, uint32_t length, uint32_t timeoutMs, uint32_t* transferred) {
    if (transferred) *transferred = 0;
    if (!buffer || length == 0 || !forWrite_) return false;
    int fd;
    if (!BeginIo(writing_, fd)) return false;

    const bool infinite = timeoutMs == kInfinite;
    const uint64_t deadline = TickCount64() + (infinite ? 0 : timeoutMs);
    bool ok = false;
    uint32_t count = 0;
    for (;;) {
        if (WaitFor(fd, POLLOUT, deadline, infinite) != WaitResult::Ready) break;
        const ssize_t n = ::write(fd, buffer, length);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            lastError_ = errno;
            break;
        }
        count = static_cast<uint32_t>(n);
        ok = count == length;
        break;
    }
    EndIo(writing_);
    if (transferred) *transferred = ok ? count : 0;
    return ok;
}

bool HidDevice::UnpackInputReport(HidData* data, size_t count, const uint8_t* report, uint32_t length,
                                  hid::ReportType type, const hid::Collection& preparsed) {
    if (!data || !report || length == 0) return false;
    const std::span<const uint8_t> bytes(report, length);
    const uint8_t reportId = report[0];
    std::vector<uint16_t> usages;
    for (size_t i = 0; i < count; ++i) {
        HidData& d = data[i];
        if (d.reportId != reportId) continue;
        if (d.isButton) {
            d.status = hid::GetUsages(preparsed, type, d.usagePage, bytes, usages);
            size_t kept = 0;
            for (uint16_t u : usages) {
                if (kept >= d.usages.size()) break;
                if (u >= d.usageMin && u <= d.usageMax) d.usages[kept++] = u;
            }
            if (kept < d.usages.size()) d.usages[kept] = 0;
        } else {
            uint32_t raw = 0;
            const uint32_t status = hid::GetUsageValue(preparsed, type, d.usagePage, d.usage, bytes, raw);
            if (status != hid::kStatusSuccess) {
                d.status = status;
                return false;
            }
            d.rawValue = raw;
            int32_t scaled = 0;
            d.status = hid::GetScaledUsageValue(preparsed, type, d.usagePage, d.usage, bytes, scaled);
            d.scaledValue = scaled;
        }
        d.isSet = true;
    }
    return true;
}

}  // namespace nurak
