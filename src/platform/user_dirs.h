#pragma once

// Where the program keeps and finds its files: the XDG base directories of
// the user and the folder of the running program.

#include <filesystem>

namespace nurak::platform {

// The product title names the program's folders in each base directory.
inline constexpr const char* kProductTitle = "Brakk 400100 Gaming Mouse";

// Each gives the variable when it holds an absolute path (relative values
// are ignored, as the XDG rules say), else the default below the home folder.
std::filesystem::path DataHome();    // $XDG_DATA_HOME, ~/.local/share
std::filesystem::path ConfigHome();  // $XDG_CONFIG_HOME, ~/.config
std::filesystem::path CacheHome();   // $XDG_CACHE_HOME, ~/.cache
// $XDG_RUNTIME_DIR, or empty when unset.
std::filesystem::path RuntimeDir();

// $HOME, or the password database's entry when HOME is unset.
std::filesystem::path HomeFolder();

// The folder of the running executable (empty when it cannot be found).
std::filesystem::path ExecutableFolder();

}  // namespace nurak::platform
