#include "profile/data_places.h"

#include <mutex>
#include <string>
#include <system_error>

#include "platform/user_dirs.h"
#include "profile/time_stamp_name.h"

namespace nurak::profile {

namespace {

std::mutex placesLock;
std::filesystem::path shippedOverride;

bool HasDefaults(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder / "DefaultData", error);
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::filesystem::path DeviceDataFolder(std::string_view deviceFolder) {
    if (!IsPlainFileName(deviceFolder)) return {};
    const std::filesystem::path folder =
        platform::DataHome() / platform::kProductTitle / std::string(deviceFolder);
    std::error_code error;
    // A failure shows later as files that cannot be written, as on a full disk.
    std::filesystem::create_directories(folder, error);
    return folder;
}

void SetShippedDataFolder(const std::filesystem::path& folder) {
    const std::lock_guard<std::mutex> hold(placesLock);
    shippedOverride = folder;
}

std::filesystem::path ShippedDataFolder() {
    {
        const std::lock_guard<std::mutex> hold(placesLock);
        if (!shippedOverride.empty()) return shippedOverride;
    }
    const std::filesystem::path exe = platform::ExecutableFolder();
    const std::filesystem::path installed =
        exe.empty() ? std::filesystem::path("/usr/share/nurak") : (exe.parent_path() / "share" / "nurak");
    if (HasDefaults(installed)) return installed;
#ifdef NURAK_SOURCE_DATA_DIR
    const std::filesystem::path source = NURAK_SOURCE_DATA_DIR;
    if (HasDefaults(source)) return source;
#endif
    return installed;
}

std::filesystem::path DefaultDataFolder() {
    return ShippedDataFolder() / "DefaultData";
}

std::filesystem::path DefaultProfilePath(std::string_view deviceFolder) {
    return DefaultDataFolder() / (std::string(deviceFolder) + ".Json");
}

std::optional<std::filesystem::path> IdentifiedFile(const std::filesystem::path& folder,
                                                    std::string_view identity, std::string_view extension) {
    if (!IsTimeStampName(identity)) return std::nullopt;
    return folder / (std::string(identity) + std::string(extension));
}

}  // namespace nurak::profile
