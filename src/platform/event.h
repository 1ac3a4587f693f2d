#pragma once

#include <cstdint>

namespace nurak {

// Wait forever.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// A kernel-backed event with manual or automatic reset. Built on eventfd so
// that it can be waited on together with device file descriptors in one poll.
class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True once the event is (or becomes) set within the timeout. An
    // auto-reset event is consumed by the waiter that wakes.
    bool Wait(uint32_t timeoutMs);
    // Non-blocking test; consumes an auto-reset event like Wait(0).
    bool IsSet() { return Wait(0); }

    bool manualReset() const { return manualReset_; }
    // For poll(); readable while the event is set.
    int fd() const { return fd_; }

    // Consumes the event if it is auto-reset and still set; false when another
    // waiter took it first.
    bool Consume();

private:
    int fd_;
    bool manualReset_;
};

// Result of WaitAny: the index of the event that was set, or kWaitTimeout.
inline constexpr int kWaitTimeout = -1;

// Waits until either event is set; the first one wins when both are. Returns
// 0 or 1, or kWaitTimeout.
int WaitAny(Event& first, Event& second, uint32_t timeoutMs);

}  // namespace nurak
