#pragma once

// The places of the stored data: the per-device data folder in the user's
// data home, the shipped data folder with its defaults, and the files named
// by an identity inside a data folder.

#include <filesystem>
#include <optional>
#include <string_view>

namespace nurak::profile {

// A single path component: not empty, no '/', no NUL, not "." or "..".
bool IsPlainFileName(std::string_view name);

// $XDG_DATA_HOME/<product title>/<device folder>/, with both levels created
// when missing. Empty when the folder name is not a plain file name.
std::filesystem::path DeviceDataFolder(std::string_view deviceFolder);

// The shipped data folder holds "DefaultData". Found beside the program
// (<prefix>/bin/../share/nurak) or, when run from a build, in the source
// tree; SetShippedDataFolder (the --data-dir option) overrides both.
void SetShippedDataFolder(const std::filesystem::path& folder);
std::filesystem::path ShippedDataFolder();

// ShippedDataFolder()/DefaultData
std::filesystem::path DefaultDataFolder();

// DefaultData/<device folder>.Json
std::filesystem::path DefaultProfilePath(std::string_view deviceFolder);

// folder/<identity><extension>, only for identities of the time-stamp form,
// so a stored value can never lead outside the folder.
std::optional<std::filesystem::path> IdentifiedFile(const std::filesystem::path& folder,
                                                    std::string_view identity, std::string_view extension);

}  // namespace nurak::profile
