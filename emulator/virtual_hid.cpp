#include "emulator/virtual_hid.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "emulator/descriptors.h"
#include "platform/trace.h"

namespace nurak::emu {

namespace fs = std::filesystem;

namespace {

constexpr int kHidrawMajor = 241;

std::system_error ErrnoError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}

std::string Format(const char* fmt, unsigned a, unsigned b = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

void WriteAll(int fd, const void* data, size_t size, const fs::path& path) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ErrnoError("write " + path.string());
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// Each helper records what it made so that exactly that can be removed.
void MakeFile(const fs::path& path, const void* data, size_t size, std::vector<fs::path>& created) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw ErrnoError("create " + path.string());
    created.push_back(path);
    try {
        WriteAll(fd, data, size, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

void MakeText(const fs::path& path, const std::string& text, std::vector<fs::path>& created) {
    MakeFile(path, text.data(), text.size(), created);
}

void MakeDir(const fs::path& path, std::vector<fs::path>& created) {
    if (::mkdir(path.c_str(), 0755) != 0) throw ErrnoError("mkdir " + path.string());
    created.push_back(path);
}

void MakeLink(const fs::path& target, const fs::path& link, std::vector<fs::path>& created) {
    if (::symlink(target.c_str(), link.c_str()) != 0) throw ErrnoError("symlink " + link.string());
    created.push_back(link);
}

bool PathTaken(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// "0003:0C45:7643.000A" -> 0x000A; -1 for other names.
int HidSerialOf(const std::string& name) {
    if (name.size() != 19 || name[4] != ':' || name[9] != ':' || name[14] != '.') return -1;
    for (size_t i : {0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18}) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return -1;
    }
    return static_cast<int>(std::stoul(name.substr(15), nullptr, 16));
}

std::chrono::nanoseconds ToDuration(double ms) {
    if (!(ms > 0)) return std::chrono::nanoseconds(0);  // also NaN
    ms = std::min(ms, 3'600'000.0);
    return std::chrono::nanoseconds(static_cast<int64_t>(std::llround(ms * 1e6)));
}

}  // namespace

// ---------------------------------------------------------------------------
// VirtualDevice

VirtualDevice::VirtualDevice(VirtualHidRoot& root, size_t id, Model model, const DeviceOptions& options)
    : root_(root),
      id_(id),
      model_(model),
      vendorId_(options.vendorId.value_or(InfoFor(model).vendorId)),
      productId_(options.productId.value_or(InfoFor(model).productId)),
      bcdDevice_(options.bcdDevice),
      firmware_(model),
      latency_(ToDuration(options.latencyMs)),
      random_(0x9E3779B97F4A7C15ull ^ (id * 0xBF58476D1CE4E5B9ull)) {
    for (const FaultRule& rule : options.faults) AddFault(rule);
}

VirtualDevice::~VirtualDevice() = default;

bool VirtualDevice::plugged() const {
    std::lock_guard lock(root_.mutex_);
    return plugged_;
}

const VirtualDevice::Node* VirtualDevice::FindNode(int interfaceNumber) const {
    for (const Node& n : nodes_) {
        if (n.interfaceNumber == interfaceNumber) return &n;
    }
    return nullptr;
}

VirtualDevice::Node* VirtualDevice::FindNode(int interfaceNumber) {
    return const_cast<Node*>(std::as_const(*this).FindNode(interfaceNumber));
}

fs::path VirtualDevice::DevNode(int interfaceNumber) const {
    std::lock_guard lock(root_.mutex_);
    const Node* n = FindNode(interfaceNumber);
    return n ? n->devPath : fs::path();
}

std::string VirtualDevice::NodeName(int interfaceNumber) const {
    std::lock_guard lock(root_.mutex_);
    const Node* n = FindNode(interfaceNumber);
    return n ? "hidraw" + std::to_string(n->number) : std::string();
}

fs::path VirtualDevice::HidFolder(int interfaceNumber) const {
    std::lock_guard lock(root_.mutex_);
    const Node* n = FindNode(interfaceNumber);
    return n ? n->hidFolder : fs::path();
}

void VirtualDevice::WithFirmware(const std::function<void(Firmware&)>& fn) {
    std::lock_guard lock(root_.mutex_);
    fn(firmware_);
}

bool VirtualDevice::SendConsumerUsage(uint16_t usage) {
    std::lock_guard lock(root_.mutex_);
    const int notify = InfoFor(model_).notifyInterface;
    const Node* n = notify >= 0 ? FindNode(notify) : nullptr;
    if (!plugged_ || !n) return false;
    const size_t node = static_cast<size_t>(n - nodes_.data());
    const uint8_t press[3] = {kConsumerReportId, static_cast<uint8_t>(usage & 0xFF),
                              static_cast<uint8_t>(usage >> 8)};
    const uint8_t release[3] = {kConsumerReportId, 0, 0};
    root_.Deliver(*this, node, press, sizeof press);
    root_.Deliver(*this, node, release, sizeof release);
    counters_.inputReportsSent += 2;
    return true;
}

bool VirtualDevice::SendInput(int interfaceNumber, std::span<const uint8_t> report) {
    std::lock_guard lock(root_.mutex_);
    const Node* n = FindNode(interfaceNumber);
    if (!plugged_ || !n || report.empty()) return false;
    root_.Deliver(*this, static_cast<size_t>(n - nodes_.data()), report.data(), report.size());
    ++counters_.inputReportsSent;
    return true;
}

void VirtualDevice::SetLatency(double msEachWay) {
    std::lock_guard lock(root_.mutex_);
    latency_ = ToDuration(msEachWay);
}

double VirtualDevice::latency() const {
    std::lock_guard lock(root_.mutex_);
    return static_cast<double>(latency_.count()) / 1e6;
}

void VirtualDevice::AddFault(const FaultRule& rule) {
    std::lock_guard lock(root_.mutex_);
    FaultState state;
    state.rule = rule;
    state.remaining = rule.kind == FaultKind::UnplugAfter ? -1 : (rule.count < 0 ? -1 : rule.count);
    faults_.push_back(state);
}

void VirtualDevice::ClearFaults() {
    std::lock_guard lock(root_.mutex_);
    faults_.clear();
}

size_t VirtualDevice::ConnectionCount(int interfaceNumber) {
    std::lock_guard lock(root_.mutex_);
    Node* n = FindNode(interfaceNumber);
    if (!n) return 0;
    // Count handles whose connect() returned but which the server has not taken yet.
    if (plugged_ && n->listenFd >= 0) root_.Accept(*this, static_cast<size_t>(n - nodes_.data()));
    return n->connections.size();
}

DeviceCounters VirtualDevice::counters() const {
    std::lock_guard lock(root_.mutex_);
    return counters_;
}

void VirtualDevice::Unplug() {
    root_.Unplug(*this);
}

// ---------------------------------------------------------------------------
// VirtualHidRoot: files

VirtualHidRoot::VirtualHidRoot(fs::path root) : root_(std::move(root)) {
    auto ensure = [this](const fs::path& dir) {
        // Missing levels are created outermost first and remembered.
        std::vector<fs::path> missing;
        for (fs::path p = dir; !p.empty() && !PathTaken(p); p = p.parent_path()) {
            missing.push_back(p);
            if (p == p.parent_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (::mkdir(it->c_str(), 0755) == 0) {
                createdDirs_.push_back(*it);
            } else if (errno != EEXIST) {
                throw ErrnoError("mkdir " + it->string());
            }
        }
        if (!fs::is_directory(dir)) {
            throw std::system_error(std::make_error_code(std::errc::not_a_directory), dir.string());
        }
    };
    try {
        ensure(root_);
        for (const char* sub : {"sys", "dev", "sys/devices", "sys/devices/virtual-usb",
                                "sys/devices/virtual-usb/usb1", "sys/class", "sys/class/hidraw"}) {
            ensure(root_ / sub);
        }
        epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epollFd_ < 0) throw ErrnoError("epoll_create1");
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) throw ErrnoError("eventfd");
        timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timerFd_ < 0) throw ErrnoError("timerfd_create");
        Watch(wakeFd_, FdKind::Wake, 0, 0);
        Watch(timerFd_, FdKind::Timer, 0, 0);
        thread_ = std::thread(&VirtualHidRoot::Serve, this);
    } catch (...) {
        for (int fd : {epollFd_, wakeFd_, timerFd_}) {
            if (fd >= 0) ::close(fd);
        }
        std::error_code ec;
        for (auto it = createdDirs_.rbegin(); it != createdDirs_.rend(); ++it) fs::remove(*it, ec);
        throw;
    }
}

VirtualHidRoot::~VirtualHidRoot() {
    stop_.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        for (auto& d : devices_) UnplugLocked(*d);
    }
    ::close(timerFd_);
    ::close(wakeFd_);
    ::close(epollFd_);
    std::error_code ec;
    for (auto it = createdDirs_.rbegin(); it != createdDirs_.rend(); ++it) fs::remove(*it, ec);
}

size_t VirtualHidRoot::deviceCount() const {
    std::lock_guard lock(mutex_);
    return devices_.size();
}

VirtualDevice& VirtualHidRoot::device(size_t index) {
    std::lock_guard lock(mutex_);
    return *devices_.at(index);
}

VirtualDevice& VirtualHidRoot::Add(Model model, const DeviceOptions& options) {
    std::lock_guard lock(mutex_);
    const size_t id = devices_.size();
    devices_.push_back(std::unique_ptr<VirtualDevice>(new VirtualDevice(*this, id, model, options)));
    VirtualDevice& d = *devices_.back();
    d.plugged_ = true;  // so that a failed build is taken down like an unplug
    try {
        Build(d);
    } catch (...) {
        UnplugLocked(d);
        devices_.pop_back();
        throw;
    }
    return d;
}

int VirtualHidRoot::NextHidSerial() {
    // The serial is unique across the root, whoever made the other folders.
    int highest = hidSerial_;
    std::error_code ec;
    fs::recursive_directory_iterator it(sysRoot() / "devices", fs::directory_options::skip_permission_denied,
                                        ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        highest = std::max(highest, HidSerialOf(it->path().filename().string()));
    }
    hidSerial_ = (highest + 1) & 0xFFFF;
    return hidSerial_;
}

void VirtualHidRoot::Build(VirtualDevice& d) {
    const ModelInfo& info = InfoFor(d.model_);
    std::vector<fs::path>& made = d.created_;

    const fs::path usbBase = sysRoot() / "devices" / "virtual-usb" / "usb1";
    for (int n = 1;; ++n) {
        const fs::path p = usbBase / ("1-" + std::to_string(n));
        if (::mkdir(p.c_str(), 0755) == 0) {
            made.push_back(p);
            d.usbNumber_ = n;
            d.usbFolder_ = p;
            break;
        }
        if (errno != EEXIST || n >= 100000) throw ErrnoError("mkdir " + p.string());
    }
    const std::string N = std::to_string(d.usbNumber_);
    MakeText(d.usbFolder_ / "idVendor", Format("%04x\n", d.vendorId_), made);
    MakeText(d.usbFolder_ / "idProduct", Format("%04x\n", d.productId_), made);
    MakeText(d.usbFolder_ / "bcdDevice", Format("%04x\n", d.bcdDevice_), made);
    MakeText(d.usbFolder_ / "manufacturer", std::string(info.manufacturer) + "\n", made);
    MakeText(d.usbFolder_ / "product", std::string(info.product) + "\n", made);

    for (int iface : info.interfaces) {
        VirtualDevice::Node node;
        node.interfaceNumber = iface;

        // The node number is claimed by binding the socket: bind fails on a
        // name someone else holds, so two roots on one folder cannot clash.
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) throw ErrnoError("socket");
        for (int m = 0;; ++m) {
            const std::string name = "hidraw" + std::to_string(m);
            const fs::path devPath = devRoot() / name;
            if (PathTaken(sysRoot() / "class" / "hidraw" / name) || PathTaken(devPath)) continue;
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const std::string s = devPath.string();
            if (s.size() >= sizeof addr.sun_path) {
                ::close(fd);
                throw std::runtime_error("node path too long for a socket: " + s);
            }
            std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
                made.push_back(devPath);
                node.number = m;
                node.devPath = devPath;
                break;
            }
            if (errno != EADDRINUSE || m >= 100000) {
                auto error = ErrnoError("bind " + s);
                ::close(fd);
                throw error;
            }
        }
        node.listenFd = fd;
        d.nodes_.push_back(node);  // owns the descriptor from here on
        VirtualDevice::Node& nd = d.nodes_.back();
        if (::listen(fd, 64) != 0) throw ErrnoError("listen " + nd.devPath.string());

        const std::string ifaceName = "1-" + N + ":1." + std::to_string(iface);
        const fs::path ifaceDir = d.usbFolder_ / ifaceName;
        MakeDir(ifaceDir, made);
        const bool boot = iface == 0;
        const bool keyboard = d.model_ == Model::Keyboard;
        MakeText(ifaceDir / "bInterfaceNumber", Format("%02x\n", static_cast<unsigned>(iface)), made);
        MakeText(ifaceDir / "bInterfaceClass", "03\n", made);
        MakeText(ifaceDir / "bInterfaceSubClass", boot ? "01\n" : "00\n", made);
        MakeText(ifaceDir / "bInterfaceProtocol", boot ? (keyboard ? "01\n" : "02\n") : "00\n", made);

        const int serial = NextHidSerial();
        const std::string hidName =
            Format("0003:%04X:", d.vendorId_) + Format("%04X.", d.productId_) + Format("%04X", serial);
        nd.hidFolder = ifaceDir / hidName;
        MakeDir(nd.hidFolder, made);
        std::string uevent = "DRIVER=hid-generic\n";
        uevent += Format("HID_ID=0003:%08X:%08X\n", d.vendorId_, d.productId_);
        uevent += "HID_NAME=" + std::string(info.manufacturer) + " " + std::string(info.product) + "\n";
        uevent += "HID_PHYS=usb-virtual-" + N + "/input" + std::to_string(iface) + "\n";
        uevent += "HID_UNIQ=\n";
        uevent += Format("MODALIAS=hid:b0003g0001v%08Xp%08X\n", d.vendorId_, d.productId_);
        MakeText(nd.hidFolder / "uevent", uevent, made);
        const std::vector<uint8_t> descriptor = DescriptorFor(d.model_, iface);
        MakeFile(nd.hidFolder / "report_descriptor", descriptor.data(), descriptor.size(), made);

        const std::string nodeName = "hidraw" + std::to_string(nd.number);
        MakeDir(nd.hidFolder / "hidraw", made);
        const fs::path classDir = nd.hidFolder / "hidraw" / nodeName;
        MakeDir(classDir, made);
        MakeText(classDir / "uevent",
                 "MAJOR=" + std::to_string(kHidrawMajor) + "\nMINOR=" + std::to_string(nd.number) +
                     "\nDEVNAME=" + nodeName + "\n",
                 made);
        MakeLink("../..", classDir / "device", made);

        Watch(fd, FdKind::Listen, static_cast<uint32_t>(d.id_), static_cast<uint8_t>(d.nodes_.size() - 1));
    }

    // The class links go last: a scan that sees one finds everything behind it.
    for (VirtualDevice::Node& nd : d.nodes_) {
        const std::string nodeName = "hidraw" + std::to_string(nd.number);
        const fs::path target = fs::path("../../devices/virtual-usb/usb1") / ("1-" + N) /
                                nd.hidFolder.parent_path().filename() / nd.hidFolder.filename() / "hidraw" /
                                nodeName;
        nd.classLink = sysRoot() / "class" / "hidraw" / nodeName;
        MakeLink(target, nd.classLink, made);
    }
    if (trace::Enabled()) {
        trace::Write("emu: plugged " + std::string(info.name) + " as " + d.usbFolder_.string());
    }
}

void VirtualHidRoot::Unplug(VirtualDevice& device) {
    std::lock_guard lock(mutex_);
    UnplugLocked(device);
}

void VirtualHidRoot::UnplugLocked(VirtualDevice& d) {
    if (!d.plugged_) return;
    d.plugged_ = false;
    std::error_code ec;
    // Out of the listing first, then the nodes, then the open handles.
    for (VirtualDevice::Node& n : d.nodes_) {
        if (!n.classLink.empty()) fs::remove(n.classLink, ec);
    }
    for (VirtualDevice::Node& n : d.nodes_) {
        if (n.listenFd >= 0) {
            Unwatch(n.listenFd);
            ::close(n.listenFd);
            n.listenFd = -1;
        }
        if (!n.devPath.empty()) fs::remove(n.devPath, ec);
    }
    for (VirtualDevice::Node& n : d.nodes_) {
        for (int fd : n.connections) {
            Unwatch(fd);
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        }
        n.connections.clear();
    }
    for (auto it = d.created_.rbegin(); it != d.created_.rend(); ++it) fs::remove(*it, ec);
    d.created_.clear();
    if (trace::Enabled()) trace::Write("emu: unplugged " + d.usbFolder_.string());
}

// ---------------------------------------------------------------------------
// VirtualHidRoot: serving

void VirtualHidRoot::Watch(int fd, FdKind kind, uint32_t device, uint8_t node) {
    if (static_cast<size_t>(fd) >= fds_.size()) fds_.resize(static_cast<size_t>(fd) + 64);
    FdEntry& e = fds_[static_cast<size_t>(fd)];
    e.kind = kind;
    e.generation = nextGeneration_++;
    e.device = device;
    e.node = node;
    epoll_event ev{};
    ev.events = EPOLLIN;
    // The generation tells a stale event for a reused descriptor apart.
    ev.data.u64 = (static_cast<uint64_t>(e.generation) << 32) | static_cast<uint32_t>(fd);
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        e = FdEntry{};
        throw ErrnoError("epoll_ctl");
    }
}

void VirtualHidRoot::Unwatch(int fd) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    if (static_cast<size_t>(fd) < fds_.size()) fds_[static_cast<size_t>(fd)] = FdEntry{};
}

void VirtualHidRoot::Serve() {
    epoll_event events[64];
    for (;;) {
        int n = ::epoll_wait(epollFd_, events, 64, -1);
        if (n < 0 && errno != EINTR) {
            trace::Write("emu: epoll_wait failed: " + std::string(std::strerror(errno)));
            return;
        }
        std::lock_guard lock(mutex_);
        if (stop_.load()) return;
        for (int i = 0; i < n; ++i) Dispatch(events[i].data.u64);
        RunDue();
        Rearm();
    }
}

void VirtualHidRoot::Dispatch(uint64_t token) {
    const int fd = static_cast<int>(token & 0xFFFFFFFFu);
    const auto generation = static_cast<uint32_t>(token >> 32);
    if (static_cast<size_t>(fd) >= fds_.size()) return;
    const FdEntry e = fds_[static_cast<size_t>(fd)];
    if (e.kind == FdKind::None || e.generation != generation) return;
    switch (e.kind) {
        case FdKind::Wake:
        case FdKind::Timer: {
            uint64_t value;
            [[maybe_unused]] ssize_t r = ::read(fd, &value, sizeof value);
            break;
        }
        case FdKind::Listen:
            Accept(*devices_[e.device], e.node);
            break;
        case FdKind::Connection:
            ReadConnection(fd, *devices_[e.device], e.node);
            break;
        case FdKind::None:
            break;
    }
}

void VirtualHidRoot::Accept(VirtualDevice& d, size_t node) {
    VirtualDevice::Node& n = d.nodes_[node];
    for (;;) {
        int fd = ::accept4(n.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN, or a connection that went away before it was taken
        }
        try {
            Watch(fd, FdKind::Connection, static_cast<uint32_t>(d.id_), static_cast<uint8_t>(node));
        } catch (const std::exception&) {
            ::close(fd);
            continue;
        }
        n.connections.push_back(fd);
    }
}

void VirtualHidRoot::ReadConnection(int fd, VirtualDevice& d, size_t node) {
    uint8_t buf[256];
    // A bounded batch per wake-up keeps one chatty client from starving the rest.
    for (int i = 0; i < 32; ++i) {
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC);
        if (n > 0) {
            OnMessage(d, node, buf, static_cast<size_t>(n));
            if (!d.plugged_) return;  // a fault unplugged the device meanwhile
            continue;
        }
        if (n == 0) {
            CloseConnection(d, node, fd);
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) CloseConnection(d, node, fd);
        return;
    }
}

void VirtualHidRoot::CloseConnection(VirtualDevice& d, size_t node, int fd) {
    Unwatch(fd);
    ::close(fd);
    auto& conns = d.nodes_[node].connections;
    std::erase(conns, fd);
}

void VirtualHidRoot::OnMessage(VirtualDevice& d, size_t node, const uint8_t* data, size_t size) {
    ++d.counters_.reportsReceived;
    const bool commandNode = d.nodes_[node].interfaceNumber == InfoFor(d.model_).commandInterface;
    if (!commandNode || data[0] != kCommandReportId) {
        ++d.counters_.ignoredReports;
        return;
    }
    if (size != kReportSize) {
        ++d.counters_.malformedReports;
        if (trace::Enabled())
            trace::Write("emu: command report of " + std::to_string(size) + " bytes dropped");
        return;
    }
    Report request;
    std::memcpy(request.data(), data, kReportSize);
    ++d.counters_.commandRequests;
    if (d.latency_.count() == 0) {
        ProcessRequest(d, node, request);
    } else {
        Schedule({Clock::now() + d.latency_, 0, static_cast<uint32_t>(d.id_), static_cast<uint8_t>(node),
                  Action::Handle, false, request});
    }
}

void VirtualHidRoot::ProcessRequest(VirtualDevice& d, size_t node, const Report& request) {
    const uint8_t cmd = request[3];
    auto applies = [cmd](const FaultRule& r) { return r.command < 0 || r.command == cmd; };

    std::optional<FaultRule> fault;
    for (VirtualDevice::FaultState& f : d.faults_) {
        if (f.rule.kind == FaultKind::UnplugAfter || f.remaining == 0 || !applies(f.rule)) continue;
        if (f.remaining > 0) --f.remaining;
        fault = f.rule;
        ++d.counters_.faultsFired;
        break;
    }
    bool unplug = false;
    for (VirtualDevice::FaultState& f : d.faults_) {
        if (f.rule.kind != FaultKind::UnplugAfter || f.done || !applies(f.rule)) continue;
        if (++f.seen >= f.rule.count) {
            f.done = true;
            unplug = true;
            ++d.counters_.faultsFired;
        }
    }
    const std::optional<FaultKind> kind = fault ? std::optional(fault->kind) : std::nullopt;
    if (kind && trace::Enabled()) {
        trace::Write("emu: fault " + std::to_string(static_cast<int>(*kind)) + " on command " +
                     std::to_string(cmd));
    }

    Report reply;
    if (kind == FaultKind::StatusFF) {
        reply = MakeRefusal(request, kStatusRefused);
    } else if (kind == FaultKind::StatusFE) {
        reply = MakeRefusal(request, kStatusBadChecksum);
    } else {
        reply = d.firmware_.Handle(request);
    }

    std::chrono::nanoseconds delay = d.latency_;
    if (kind == FaultKind::NoReply) {
        if (unplug) UnplugLocked(d);
        return;
    }
    if (kind == FaultKind::LateReply) delay += std::chrono::milliseconds(fault->delayMs);
    if (kind == FaultKind::StaleEcho) {
        Report stale = reply;
        stale[3] = static_cast<uint8_t>(cmd ^ 0x80);
        SealReport(stale);
        Emit(d, node, stale, delay, false);
    }
    if (kind == FaultKind::Garbage) {
        for (size_t i = 1; i < kReportSize; ++i) {
            d.random_ ^= d.random_ << 13;
            d.random_ ^= d.random_ >> 7;
            d.random_ ^= d.random_ << 17;
            reply[i] = static_cast<uint8_t>(d.random_ >> 24);
        }
        reply[0] = kCommandReportId;  // still a report of the command collection
        if (reply[3] == cmd) reply[3] = static_cast<uint8_t>(cmd ^ 0x80);
    }
    Emit(d, node, reply, delay, unplug);
}

void VirtualHidRoot::Emit(VirtualDevice& d, size_t node, const Report& reply, std::chrono::nanoseconds delay,
                          bool unplugAfter) {
    if (delay.count() == 0) {
        Deliver(d, node, reply.data(), reply.size());
        ++d.counters_.repliesSent;
        if (unplugAfter) UnplugLocked(d);
        return;
    }
    Schedule({Clock::now() + delay, 0, static_cast<uint32_t>(d.id_), static_cast<uint8_t>(node), Action::Send,
              unplugAfter, reply});
}

void VirtualHidRoot::Deliver(VirtualDevice& d, size_t node, const uint8_t* data, size_t size) {
    // A client whose connect() returned holds an open handle, as after open()
    // of a hidraw node; take it before the report goes out so it is not missed.
    if (d.nodes_[node].listenFd >= 0) Accept(d, node);
    for (int fd : d.nodes_[node].connections) {
        if (::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) < 0 &&
            (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            // hidraw drops reports for a reader that does not keep up; so do we.
            ++d.counters_.droppedDeliveries;
        }
        // Other errors mean the reader has gone; its hang-up closes it.
    }
}

void VirtualHidRoot::Schedule(Timed item) {
    item.seq = nextSeq_++;
    queue_.push(item);
}

void VirtualHidRoot::RunDue() {
    const Clock::time_point now = Clock::now();
    while (!queue_.empty() && queue_.top().at <= now) {
        const Timed t = queue_.top();
        queue_.pop();
        VirtualDevice& d = *devices_[t.device];
        if (!d.plugged_) continue;
        if (t.action == Action::Handle) {
            ProcessRequest(d, t.node, t.data);
        } else {
            Deliver(d, t.node, t.data.data(), t.data.size());
            ++d.counters_.repliesSent;
            if (t.unplugAfter) UnplugLocked(d);
        }
    }
}

void VirtualHidRoot::Rearm() {
    std::optional<Clock::time_point> want;
    if (!queue_.empty()) want = queue_.top().at;
    if (want == armedAt_) return;
    itimerspec when{};
    if (want) {
        // steady_clock counts CLOCK_MONOTONIC, which the timer uses too.
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(want->time_since_epoch()).count();
        when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    }
    ::timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &when, nullptr);
    armedAt_ = want;
}

}  // namespace nurak::emu
