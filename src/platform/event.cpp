#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "platform/tick.h"

namespace nurak {

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset) {
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    if (initiallySet) Set();
}

Event::~Event() { ::close(fd_); }

void Event::Set() {
    // For a manual-reset event the counter only has to stay non-zero; writing
    // again while set is harmless (it cannot overflow in practice).
    const uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::Reset() {
    uint64_t value;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool Event::Consume() {
    if (manualReset_) return true;
    uint64_t value;
    for (;;) {
        if (::read(fd_, &value, sizeof value) == sizeof value) return true;
        if (errno != EINTR) return false;
    }
}

namespace {

// Polls the fds until one is readable and, for auto-reset events, consumed.
int WaitFds(Event* const* events, int count, uint32_t timeoutMs) {
    const uint64_t deadline = TickCount64() + timeoutMs;
    pollfd fds[2];
    for (;;) {
        for (int i = 0; i < count; ++i) fds[i] = {events[i]->fd(), POLLIN, 0};
        int waitMs = -1;
        if (timeoutMs != kInfinite) {
            const uint64_t now = TickCount64();
            waitMs = now >= deadline ? 0 : static_cast<int>(deadline - now);
        }
        const int n = ::poll(fds, static_cast<nfds_t>(count), waitMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            return kWaitTimeout;
        }
        for (int i = 0; i < count; ++i) {
            if ((fds[i].revents & POLLIN) && events[i]->Consume()) return i;
        }
        if (n == 0) return kWaitTimeout;
        // Another waiter consumed an auto-reset event first: wait on.
    }
}

}  // namespace

bool Event::Wait(uint32_t timeoutMs) {
    Event* self = this;
    return WaitFds(&self, 1, timeoutMs) == 0;
}

int WaitAny(Event& first, Event& second, uint32_t timeoutMs) {
    Event* events[2] = {&first, &second};
    return WaitFds(events, 2, timeoutMs);
}

}  // namespace nurak
