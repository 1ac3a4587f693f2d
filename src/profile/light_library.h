#pragma once

// The name lists a device control shows: its macros, the shipped default
// light modes, the area lights and the user's custom light modes. Each device
// model picks its own element of the shared light files by a library index.

#include <filesystem>
#include <string>
#include <vector>

namespace nurak::profile {

// Library index of a device model, set from its identification entry.
inline constexpr int kKeyboardLibrary = 0;
inline constexpr int kMouseLibrary = 1;
inline constexpr int kMousepadLibrary = 2;
inline constexpr int kHeadsetLibrary = 3;

// Light modes below this name a default light; from here on they name a
// custom light (mode - kDefaultLightModeCount).
inline constexpr int kDefaultLightModeCount = 12;

struct DefaultLightName {
    std::string name;
    bool visible = false;

    bool operator==(const DefaultLightName&) const = default;
};

struct DeviceLibraryLists {
    std::vector<std::string> macroNames;
    std::vector<DefaultLightName> defaultLights;
    std::vector<std::string> areaLights;
    std::vector<std::string> customLights;
};

struct LibraryPlaces {
    std::filesystem::path macroLibrary;
    std::filesystem::path defaultLightNames;
    std::filesystem::path customLightLibrary;
    int libraryIndex = kKeyboardLibrary;
};

// "nurak_macro.config" for the mousepad and the headset, "macro.config" for
// every other model.
std::string MacroLibraryFileName(int libraryIndex);

// The places of a device model: its macro and custom light libraries in its
// data folder, the default light names in DefaultDataFolder().
LibraryPlaces DeviceLibraryPlaces(const std::filesystem::path& deviceDataFolder, int libraryIndex);

// Refills the lists. The macro names are always cleared first (an unreadable
// library shows no macros). A light list is replaced only when its file holds
// the model's element as an array; otherwise it keeps what it had. Entries
// without a name keep their place with an empty name, so that a light mode
// still names the entry at its index.
void LoadLibraries(DeviceLibraryLists& lists, const LibraryPlaces& places);

// The name of a light mode: 0-11 a default light, 12 and up custom light
// mode - 12. Empty when the mode names no entry of the lists.
std::string LightModeName(const DeviceLibraryLists& lists, int mode);

}  // namespace nurak::profile
