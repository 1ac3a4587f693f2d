#include "platform/trace.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace nurak::trace {

namespace detail {
std::atomic<bool> enabled{false};
}

namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

void SetEnabled(bool on) { detail::enabled.store(on, std::memory_order_relaxed); }

void InitFromEnvironment() {
    const char* value = std::getenv("NURAK_TRACE");
    if (value && *value && std::strcmp(value, "0") != 0) SetEnabled(true);
}

void Write(std::string_view text) {
    if (!Enabled()) return;
    std::lock_guard lock(SinkMutex());
    if (CurrentSink()) {
        CurrentSink()(text);
        return;
    }
    std::string line(text);
    if (line.empty() || line.back() != '\n') line.push_back('\n');
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

void SetSink(Sink sink) {
    std::lock_guard lock(SinkMutex());
    CurrentSink() = std::move(sink);
}

}  // namespace nurak::trace
