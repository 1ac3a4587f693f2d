#pragma once

// Virtual HID devices served through a private sysfs/dev tree.
//
// A root R gets R/sys and R/dev laid out like the kernel's: for each device
// a USB device folder R/sys/devices/virtual-usb/usb1/1-N, one interface
// folder 1-N:1.I per interface, the HID device folder 0003:VVVV:PPPP.KKKK in
// it (uevent, report_descriptor), hidraw/hidrawM below that with a relative
// "device" link back up, a relative class link R/sys/class/hidraw/hidrawM,
// and the node R/dev/hidrawM: a listening Unix SOCK_SEQPACKET socket. Each
// accepted connection is one open handle; each message is one whole report,
// report id first. Every report a node produces goes to every connection
// open on it, as hidraw does.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "emulator/faults.h"
#include "emulator/firmware.h"
#include "emulator/model.h"

namespace nurak::emu {

struct DeviceOptions {
    uint16_t bcdDevice = 0x0105;
    double latencyMs = 0;  // each way, see VirtualDevice::SetLatency
    std::vector<FaultRule> faults;
    // Replace the model's USB ids (e.g. to stand for an unknown device).
    std::optional<uint16_t> vendorId;
    std::optional<uint16_t> productId;
};

struct DeviceCounters {
    uint64_t reportsReceived = 0;   // every message written on any node of the device
    uint64_t commandRequests = 0;   // 64-byte id-4 reports taken as commands
    uint64_t ignoredReports = 0;    // other output reports (boot interface, keyboard LEDs, ...)
    uint64_t malformedReports = 0;  // id-4 reports of a length other than 64, dropped
    uint64_t repliesSent = 0;       // replies put on the node (a stale echo counts as one)
    uint64_t inputReportsSent = 0;  // reports from SendInput and SendConsumerUsage
    uint64_t faultsFired = 0;
    uint64_t droppedDeliveries = 0;  // copies not delivered because a reader's queue was full
};

class VirtualHidRoot;

class VirtualDevice {
  public:
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    Model model() const { return model_; }
    // Position in the order of VirtualHidRoot::Add, from 0.
    size_t index() const { return id_; }
    // N of the USB folder 1-N.
    int usbNumber() const { return usbNumber_; }
    uint16_t vendorId() const { return vendorId_; }
    uint16_t productId() const { return productId_; }
    bool plugged() const;
    std::span<const int> interfaces() const { return InfoFor(model_).interfaces; }

    // Paths of an interface's node; empty when the model has no such
    // interface. They stay known after an unplug (the files are gone).
    std::filesystem::path DevNode(int interfaceNumber) const;
    std::string NodeName(int interfaceNumber) const;  // "hidrawM"
    std::filesystem::path UsbFolder() const { return usbFolder_; }
    std::filesystem::path HidFolder(int interfaceNumber) const;

    // Runs fn with the firmware locked against the server thread. fn may
    // call this device's other methods from the same thread.
    void WithFirmware(const std::function<void(Firmware&)>& fn);

    // A consumer usage on the notification node: {3, lo, hi}, then the
    // release {3, 0, 0}. False when the device has no such node or is
    // unplugged.
    bool SendConsumerUsage(uint16_t usage);
    // One input report (report id first where the descriptor uses ids) to
    // every connection of the interface's node.
    bool SendInput(int interfaceNumber, std::span<const uint8_t> report);

    // A request is carried out msEachWay after it arrived and its reply goes
    // out msEachWay after that. 0 answers at once.
    void SetLatency(double msEachWay);
    double latency() const;

    // Fault rules are tried in the order added; the first that applies to a
    // request (and has firings left) decides its reply. UnplugAfter rules
    // count on their own.
    void AddFault(const FaultRule& rule);
    void ClearFaults();

    size_t ConnectionCount(int interfaceNumber);
    DeviceCounters counters() const;

    // Same as VirtualHidRoot::Unplug(*this).
    void Unplug();

  private:
    friend class VirtualHidRoot;

    struct Node {
        int interfaceNumber = 0;
        int number = -1;  // M of hidrawM
        int listenFd = -1;
        std::filesystem::path devPath;
        std::filesystem::path classLink;
        std::filesystem::path hidFolder;
        std::vector<int> connections;
    };
    struct FaultState {
        FaultRule rule;
        int remaining = -1;  // firings left, -1 without limit
        int seen = 0;        // UnplugAfter: requests counted so far
        bool done = false;
    };

    VirtualDevice(VirtualHidRoot& root, size_t id, Model model, const DeviceOptions& options);
    const Node* FindNode(int interfaceNumber) const;
    Node* FindNode(int interfaceNumber);

    VirtualHidRoot& root_;
    size_t id_;
    Model model_;
    uint16_t vendorId_;
    uint16_t productId_;
    uint16_t bcdDevice_;
    int usbNumber_ = 0;
    bool plugged_ = false;
    Firmware firmware_;
    std::vector<Node> nodes_;
    std::vector<FaultState> faults_;
    std::chrono::nanoseconds latency_{0};
    DeviceCounters counters_;
    uint64_t random_;
    std::filesystem::path usbFolder_;
    std::vector<std::filesystem::path> created_;  // in creation order
};

class VirtualHidRoot {
  public:
    // Creates root, root/sys and root/dev as needed and starts the server
    // thread. Throws std::system_error when that fails.
    explicit VirtualHidRoot(std::filesystem::path root);
    // Unplugs every device, stops the thread and removes what was created.
    ~VirtualHidRoot();
    VirtualHidRoot(const VirtualHidRoot&) = delete;
    VirtualHidRoot& operator=(const VirtualHidRoot&) = delete;

    // Plugs a device in: its files and nodes exist, and the nodes listen,
    // when this returns. Free numbers are picked next to whatever else is in
    // the root. Throws std::system_error (or std::runtime_error for a node
    // path too long for a socket) and leaves nothing behind on failure.
    VirtualDevice& Add(Model model, const DeviceOptions& options = {});
    // Removes the device's nodes, links and folders and closes its
    // connections (readers see end of file). The object stays valid and
    // reports plugged() false; unplugging twice does nothing.
    void Unplug(VirtualDevice& device);

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path sysRoot() const { return root_ / "sys"; }
    std::filesystem::path devRoot() const { return root_ / "dev"; }

    // Every device added so far, in order, unplugged ones included.
    size_t deviceCount() const;
    VirtualDevice& device(size_t index);

  private:
    friend class VirtualDevice;
    using Clock = std::chrono::steady_clock;

    enum class Action : uint8_t { Handle, Send };
    struct Timed {
        Clock::time_point at;
        uint64_t seq;
        uint32_t device;
        uint8_t node;
        Action action;
        bool unplugAfter;
        Report data;
        bool operator>(const Timed& o) const { return at != o.at ? at > o.at : seq > o.seq; }
    };
    enum class FdKind : uint8_t { None, Wake, Timer, Listen, Connection };
    struct FdEntry {
        FdKind kind = FdKind::None;
        uint32_t generation = 0;
        uint32_t device = 0;
        uint8_t node = 0;
    };

    void Serve();
    void Dispatch(uint64_t token);
    void Accept(VirtualDevice& d, size_t node);
    void ReadConnection(int fd, VirtualDevice& d, size_t node);
    void OnMessage(VirtualDevice& d, size_t node, const uint8_t* data, size_t size);
    void ProcessRequest(VirtualDevice& d, size_t node, const Report& request);
    // Puts a reply on the node now, or after delay; unplugAfter unplugs the
    // device once it went out.
    void Emit(VirtualDevice& d, size_t node, const Report& reply, std::chrono::nanoseconds delay,
              bool unplugAfter);
    void Deliver(VirtualDevice& d, size_t node, const uint8_t* data, size_t size);
    void Schedule(Timed item);
    void RunDue();
    void Rearm();
    void Watch(int fd, FdKind kind, uint32_t device, uint8_t node);
    void Unwatch(int fd);
    void CloseConnection(VirtualDevice& d, size_t node, int fd);
    void UnplugLocked(VirtualDevice& d);
    void Build(VirtualDevice& d);
    int NextHidSerial();

    std::filesystem::path root_;
    std::vector<std::filesystem::path> createdDirs_;  // outermost first
    mutable std::recursive_mutex mutex_;
    std::vector<std::unique_ptr<VirtualDevice>> devices_;
    std::vector<FdEntry> fds_;
    uint32_t nextGeneration_ = 1;
    std::priority_queue<Timed, std::vector<Timed>, std::greater<Timed>> queue_;
    uint64_t nextSeq_ = 0;
    std::optional<Clock::time_point> armedAt_;
    int hidSerial_ = 0;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    int timerFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace nurak::emu
