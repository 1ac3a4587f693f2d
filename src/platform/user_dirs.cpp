#include "platform/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace nurak::platform {

namespace {

std::filesystem::path FromVariable(const char* name, const char* fallbackBelowHome) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] == '/') return value;
    return HomeFolder() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384u);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/";
}

std::filesystem::path DataHome() {
    return FromVariable("XDG_DATA_HOME", ".local/share");
}
std::filesystem::path ConfigHome() {
    return FromVariable("XDG_CONFIG_HOME", ".config");
}
std::filesystem::path CacheHome() {
    return FromVariable("XDG_CACHE_HOME", ".cache");
}

std::filesystem::path RuntimeDir() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value != nullptr && value[0] == '/') return value;
    return {};
}

std::filesystem::path ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return self.parent_path();
}

}  // namespace nurak::platform
