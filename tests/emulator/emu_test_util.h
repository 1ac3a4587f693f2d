#pragma once

// Small helpers for the emulator tests: temporary folders and a raw
// SOCK_SEQPACKET client that talks to a node the way hidraw users do.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace nurak::emu::testing {

namespace fs = std::filesystem;

using nurak::testing::TempDir;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

// A connection to a node, or an invalid Fd (errno tells why).
inline Fd Connect(const fs::path& node, int type = SOCK_SEQPACKET) {
    int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fd();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string s = node.string();
    if (s.size() >= sizeof addr.sun_path) {
        ::close(fd);
        return Fd();
    }
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return Fd();
    }
    return Fd(fd);
}

inline bool SendBytes(const Fd& fd, std::span<const uint8_t> bytes) {
    return ::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

enum class RecvStatus { Data, Timeout, Eof, Error };

struct Received {
    RecvStatus status = RecvStatus::Timeout;
    std::vector<uint8_t> data;
};

// Waits up to timeoutMs for one message.
inline Received RecvMessage(const Fd& fd, int timeoutMs = 5000) {
    Received r;
    pollfd p{fd.get(), POLLIN, 0};
    int n = ::poll(&p, 1, timeoutMs);
    if (n == 0) return r;
    if (n < 0) {
        r.status = RecvStatus::Error;
        return r;
    }
    uint8_t buf[1024];
    ssize_t got = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (got == 0) {
        r.status = RecvStatus::Eof;
    } else if (got < 0) {
        r.status = (errno == ECONNRESET) ? RecvStatus::Eof : RecvStatus::Error;
    } else {
        r.status = RecvStatus::Data;
        r.data.assign(buf, buf + got);
    }
    return r;
}

inline std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<uint8_t> ReadBytes(const fs::path& p) {
    const std::string s = ReadText(p);
    return {s.begin(), s.end()};
}

// Polls a condition until it holds or the deadline passes; for state that a
// server thread changes shortly after an event.
inline bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Every path below dir, relative to it, sorted.
inline std::vector<std::string> ListTree(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        out.push_back(it->path().lexically_relative(dir).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace nurak::emu::testing
