#include "profile/light_library.h"

#include <cstddef>

#include <json/value.h>

#include "profile/data_places.h"
#include "profile/json_file_store.h"
#include "profile/macro_library.h"

namespace nurak::profile {

namespace {

// The model's element of a per-model array, or null when there is none.
const Json::Value& ModelElement(const Json::Value& root, const char* member, int libraryIndex) {
    static const Json::Value null;
    if (libraryIndex < 0) return null;
    return JsonArrayItem(JsonMember(root, member), static_cast<std::size_t>(libraryIndex));
}

std::vector<std::string> LightNames(const Json::Value& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const Json::Value& entry : entries) names.push_back(JsonString(entry, "LightName", ""));
    return names;
}

}  // namespace

std::string MacroLibraryFileName(int libraryIndex) {
    if (libraryIndex == kMousepadLibrary || libraryIndex == kHeadsetLibrary)
        return kNurakMacroLibraryFileName;
    return kMacroLibraryFileName;
}

LibraryPlaces DeviceLibraryPlaces(const std::filesystem::path& deviceDataFolder, int libraryIndex) {
    LibraryPlaces places;
    places.macroLibrary = deviceDataFolder / MacroLibraryFileName(libraryIndex);
    places.defaultLightNames = DefaultDataFolder() / "default_light.json";
    places.customLightLibrary = deviceDataFolder / "nurak_light.config";
    places.libraryIndex = libraryIndex;
    return places;
}

void LoadLibraries(DeviceLibraryLists& lists, const LibraryPlaces& places) {
    JsonFileStore store;

    lists.macroNames =
        LibraryMacroNames(places.macroLibrary.parent_path(), places.macroLibrary.filename().string());

    const Json::Value defaultNames = store.ReadJsonFile(places.defaultLightNames);
    const Json::Value& defaults = ModelElement(defaultNames, "DefaultLightName", places.libraryIndex);
    if (defaults.isArray()) {
        lists.defaultLights.clear();
        for (const Json::Value& entry : defaults) {
            lists.defaultLights.push_back(
                {JsonString(entry, "LightName", ""), JsonBool(entry, "visible", false)});
        }
    }
    const Json::Value& areas = ModelElement(defaultNames, "AreaLightName", places.libraryIndex);
    if (areas.isArray()) lists.areaLights = LightNames(areas);

    const Json::Value customLibrary = store.ReadJsonFile(places.customLightLibrary);
    const Json::Value& customs = ModelElement(customLibrary, "LightInfo", places.libraryIndex);
    if (customs.isArray()) lists.customLights = LightNames(customs);
}

std::string LightModeName(const DeviceLibraryLists& lists, int mode) {
    if (mode < 0) return {};
    const auto index = static_cast<std::size_t>(mode);
    if (mode < kDefaultLightModeCount) {
        return index < lists.defaultLights.size() ? lists.defaultLights[index].name : std::string();
    }
    const std::size_t custom = index - kDefaultLightModeCount;
    return custom < lists.customLights.size() ? lists.customLights[custom] : std::string();
}

}  // namespace nurak::profile
