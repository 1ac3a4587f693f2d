#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace nurak::platform {

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now so that a failing close (late write-back errors) is seen.
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

// Reads the whole file; false with errno set when it cannot, or when it is
// not a regular file or grows beyond the limit.
bool ReadWholeFileImpl(const std::filesystem::path& file, std::uintmax_t limit, std::string& out) {
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return false;
    // A FIFO or device would block or never end.
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > limit) {
        errno = EFBIG;
        return false;
    }
    out.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t have = 0;
    // The size may change while reading; read to the end, within the limit.
    for (;;) {
        if (have == out.size()) {
            if (out.size() >= limit) {
                char probe;
                const ssize_t n = ::read(fd.get(), &probe, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return false;
                if (n == 0) break;
                errno = EFBIG;
                return false;
            }
            out.resize(std::min<std::size_t>(limit, out.size() + 4096));
        }
        const ssize_t n = ::read(fd.get(), out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    out.resize(have);
    return true;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Creates a new temporary file next to the target; the mode follows the
// umask like a plain create would.
int CreateTemp(const std::filesystem::path& file, std::filesystem::path& temp) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
        temp = folder / name;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void SyncFolder(const std::filesystem::path& file) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) (void)::fsync(fd.get());
}

// Writes through a temporary file; errno holds the cause on failure.
bool ReplaceFileImpl(const std::filesystem::path& file, std::string_view text) {
    std::filesystem::path temp;
    Fd fd(CreateTemp(file, temp));
    if (fd.get() < 0) return false;
    bool ok = true;
    int error = 0;
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)::fchmod(fd.get(), st.st_mode & 07777);
    if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        ok = false;
        error = errno;
    }
    if (fd.Close() != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), file.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    SyncFolder(file);
    return true;
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file, std::uintmax_t limit, std::string& out) {
    return ReadWholeFileImpl(file, limit, out);
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view text) {
    return ReplaceFileImpl(file, text);
}

bool CopyFileContents(const std::filesystem::path& from, const std::filesystem::path& to,
                      std::uintmax_t limit) {
    std::string bytes;
    if (!ReadWholeFile(from, limit, bytes)) return false;
    return ReplaceFileContents(to, bytes);
}

}  // namespace nurak::platform
