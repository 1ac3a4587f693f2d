#include "profile/light_library.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/data_places.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

// One element per library index, each with names of its own.
constexpr const char* kDefaultLightFile = R"({
  "DefaultLightName": [
    [{"LightName": "kb wave", "visible": true}],
    [{"LightName": "mouse wave", "visible": true}, {"LightName": "mouse cycle", "visible": false},
     {"LightName": "mouse static", "visible": 1}, {"LightName": "mouse off", "visible": 0}],
    [{"LightName": "pad breath", "visible": false}],
    [{"LightName": "headset glow", "visible": true}]
  ],
  "AreaLightName": [
    [{"LightName": "kb left"}],
    [{"LightName": "mouse logo"}, {"LightName": "mouse wheel"}],
    [{"LightName": "pad edge"}],
    [{"LightName": "headset cup"}]
  ]
})";

constexpr const char* kCustomLightFile = R"({
  "LightInfo": [
    [{"LightName": "kb mine", "Guid": "2020_01_01_00_00_00_000"}],
    [{"LightName": "mouse mine", "Guid": "2020_01_01_00_00_00_001"},
     {"LightName": "mouse party", "Guid": "2020_01_01_00_00_00_002"}],
    [{"LightName": "pad mine", "Guid": "2020_01_01_00_00_00_003"}],
    [{"LightName": "headset mine", "Guid": "2020_01_01_00_00_00_004"}]
  ]
})";

constexpr const char* kMacroFile = R"({
  "MacroInfo": [
    {"MacroName": "macro_1", "Guid": "2020_01_01_00_00_00_010"},
    {"MacroName": "reload", "Guid": "2020_01_01_00_00_00_011"}
  ]
})";

// Lists already filled, to see what a load replaces and what it keeps.
DeviceLibraryLists FilledLists() {
    DeviceLibraryLists lists;
    lists.macroNames = {"old macro"};
    lists.defaultLights = {{"old default", true}};
    lists.areaLights = {"old area"};
    lists.customLights = {"old custom"};
    return lists;
}

class LoadLibrariesTest : public ::testing::Test {
  protected:
    LibraryPlaces Places(int libraryIndex) const {
        LibraryPlaces places;
        places.macroLibrary = dir_.path() / "macro.config";
        places.defaultLightNames = dir_.path() / "default_light.json";
        places.customLightLibrary = dir_.path() / "nurak_light.config";
        places.libraryIndex = libraryIndex;
        return places;
    }
    void PutAll() {
        WriteFileText(dir_.path() / "macro.config", kMacroFile);
        WriteFileText(dir_.path() / "default_light.json", kDefaultLightFile);
        WriteFileText(dir_.path() / "nurak_light.config", kCustomLightFile);
    }

    TempDir dir_;
};

TEST_F(LoadLibrariesTest, FillsEveryListFromTheModelsElement) {
    PutAll();
    DeviceLibraryLists lists = FilledLists();
    LoadLibraries(lists, Places(kMouseLibrary));

    EXPECT_EQ(lists.macroNames, (std::vector<std::string>{"macro_1", "reload"}));
    EXPECT_EQ(
        lists.defaultLights,
        (std::vector<DefaultLightName>{
            {"mouse wave", true}, {"mouse cycle", false}, {"mouse static", true}, {"mouse off", false}}));
    EXPECT_EQ(lists.areaLights, (std::vector<std::string>{"mouse logo", "mouse wheel"}));
    EXPECT_EQ(lists.customLights, (std::vector<std::string>{"mouse mine", "mouse party"}));
}

TEST_F(LoadLibrariesTest, EachLibraryIndexPicksItsOwnElement) {
    PutAll();
    struct Case {
        int libraryIndex;
        const char* defaultName;
        const char* areaName;
        const char* customName;
    };
    const Case cases[] = {
        {kKeyboardLibrary, "kb wave", "kb left", "kb mine"},
        {kMouseLibrary, "mouse wave", "mouse logo", "mouse mine"},
        {kMousepadLibrary, "pad breath", "pad edge", "pad mine"},
        {kHeadsetLibrary, "headset glow", "headset cup", "headset mine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.libraryIndex);
        DeviceLibraryLists lists;
        LoadLibraries(lists, Places(c.libraryIndex));
        ASSERT_FALSE(lists.defaultLights.empty());
        EXPECT_EQ(lists.defaultLights.front().name, c.defaultName);
        ASSERT_FALSE(lists.areaLights.empty());
        EXPECT_EQ(lists.areaLights.front(), c.areaName);
        ASSERT_FALSE(lists.customLights.empty());
        EXPECT_EQ(lists.customLights.front(), c.customName);
    }
}

TEST_F(LoadLibrariesTest, MissingFilesKeepTheLightListsButClearTheMacros) {
    DeviceLibraryLists lists = FilledLists();
    LoadLibraries(lists, Places(kMouseLibrary));

    const DeviceLibraryLists before = FilledLists();
    EXPECT_TRUE(lists.macroNames.empty());
    EXPECT_EQ(lists.defaultLights, before.defaultLights);
    EXPECT_EQ(lists.areaLights, before.areaLights);
    EXPECT_EQ(lists.customLights, before.customLights);
}

TEST_F(LoadLibrariesTest, MissingOrMalformedElementKeepsOnlyThatList) {
    struct Case {
        const char* name;
        const char* defaultLightFile;
        const char* customLightFile;
        bool defaultsReplaced;
        bool areasReplaced;
        bool customsReplaced;
    };
    const Case cases[] = {
        {"no area member", R"({"DefaultLightName": [[], [{"LightName": "d"}]]})",
         R"({"LightInfo": [[], []]})", true, false, true},
        {"no default member", R"({"AreaLightName": [[], [{"LightName": "a"}]]})", R"({"LightInfo": 7})",
         false, true, false},
        {"arrays too short", R"({"DefaultLightName": [[]], "AreaLightName": [[]]})", R"({"LightInfo": [[]]})",
         false, false, false},
        {"element not an array",
         R"({"DefaultLightName": [[], {"LightName": "x"}], "AreaLightName": [[], 5]})",
         R"({"LightInfo": [[], "text"]})", false, false, false},
        {"element null", R"({"DefaultLightName": [[], null], "AreaLightName": [[], null]})",
         R"({"LightInfo": [[], null]})", false, false, false},
        {"root not an object", "[[1, 2], [3]]", "\"LightInfo\"", false, false, false},
        {"not json", "{\"DefaultLightName\": [[], [", "{", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(dir_.path() / "default_light.json", c.defaultLightFile);
        WriteFileText(dir_.path() / "nurak_light.config", c.customLightFile);
        DeviceLibraryLists lists = FilledLists();
        LoadLibraries(lists, Places(kMouseLibrary));

        const DeviceLibraryLists before = FilledLists();
        EXPECT_EQ(lists.defaultLights != before.defaultLights, c.defaultsReplaced);
        EXPECT_EQ(lists.areaLights != before.areaLights, c.areasReplaced);
        EXPECT_EQ(lists.customLights != before.customLights, c.customsReplaced);
    }
}

TEST_F(LoadLibrariesTest, EmptyElementEmptiesTheList) {
    WriteFileText(dir_.path() / "default_light.json",
                  R"({"DefaultLightName": [[], []], "AreaLightName": [[], []]})");
    WriteFileText(dir_.path() / "nurak_light.config", R"({"LightInfo": [[], []]})");
    DeviceLibraryLists lists = FilledLists();
    LoadLibraries(lists, Places(kMouseLibrary));
    EXPECT_TRUE(lists.defaultLights.empty());
    EXPECT_TRUE(lists.areaLights.empty());
    EXPECT_TRUE(lists.customLights.empty());
}

TEST_F(LoadLibrariesTest, VisibleFlagReadsTruthValuesOnly) {
    struct Case {
        const char* visible;  // member text, or nullptr for none
        bool expected;
    };
    const Case cases[] = {
        {"true", true},     {"false", false},  {"1", true},    {"0", false},     {"-3", true},
        {"\"yes\"", false}, {"[true]", false}, {"1.5", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.visible ? c.visible : "missing");
        std::string entry = R"({"LightName": "n")";
        if (c.visible) entry += std::string(R"(, "visible": )") + c.visible;
        entry += "}";
        WriteFileText(dir_.path() / "default_light.json", R"({"DefaultLightName": [[)" + entry + "]]}");
        DeviceLibraryLists lists;
        LoadLibraries(lists, Places(kKeyboardLibrary));
        ASSERT_EQ(lists.defaultLights.size(), 1u);
        EXPECT_EQ(lists.defaultLights[0].visible, c.expected);
    }
}

TEST_F(LoadLibrariesTest, EntriesWithoutANameKeepTheirPlace) {
    // A light mode is an index into the list, so a bad entry must not shift
    // the ones after it.
    WriteFileText(dir_.path() / "default_light.json",
                  R"({"DefaultLightName": [[{"visible": true}, 4, {"LightName": 9}, {"LightName": "last"}]],
            "AreaLightName": [[null, {"LightName": "area"}]]})");
    WriteFileText(dir_.path() / "nurak_light.config", R"({"LightInfo": [["x", {"LightName": "mine"}]]})");
    DeviceLibraryLists lists;
    LoadLibraries(lists, Places(kKeyboardLibrary));
    EXPECT_EQ(lists.defaultLights,
              (std::vector<DefaultLightName>{{"", true}, {"", false}, {"", false}, {"last", false}}));
    EXPECT_EQ(lists.areaLights, (std::vector<std::string>{"", "area"}));
    EXPECT_EQ(lists.customLights, (std::vector<std::string>{"", "mine"}));
}

TEST_F(LoadLibrariesTest, MacroListFromMalformedLibraries) {
    struct Case {
        const char* file;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {R"({"MacroInfo": {"MacroName": "x"}})", {}},
        {R"({"MacroInfo": "macro_1"})", {}},
        {R"({"MacroInfo": []})", {}},
        {R"({"MacroInfo": [{"MacroName": 3}, 5, {"MacroName": "ok"}]})", {"", "", "ok"}},
        {R"([{"MacroName": "x"}])", {}},
        {"not json", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFileText(dir_.path() / "macro.config", c.file);
        DeviceLibraryLists lists = FilledLists();
        LoadLibraries(lists, Places(kMouseLibrary));
        EXPECT_EQ(lists.macroNames, c.expected);
    }
}

TEST_F(LoadLibrariesTest, NegativeLibraryIndexNamesNoElement) {
    PutAll();
    DeviceLibraryLists lists = FilledLists();
    LoadLibraries(lists, Places(-1));
    EXPECT_EQ(lists.macroNames, (std::vector<std::string>{"macro_1", "reload"}));
    EXPECT_EQ(lists.defaultLights, FilledLists().defaultLights);
    EXPECT_EQ(lists.customLights, FilledLists().customLights);
}

TEST_F(LoadLibrariesTest, NoCorpusFileCrashesOrFillsALightList) {
    // None of these files holds a library member, so every load must leave
    // the light lists as they were and show no macros.
    const fs::path corpus = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    ASSERT_TRUE(fs::is_directory(corpus));
    const DeviceLibraryLists before = FilledLists();
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        LibraryPlaces places;
        places.macroLibrary = entry.path();
        places.defaultLightNames = entry.path();
        places.customLightLibrary = entry.path();
        places.libraryIndex = kMouseLibrary;
        DeviceLibraryLists lists = FilledLists();
        LoadLibraries(lists, places);
        EXPECT_TRUE(lists.macroNames.empty());
        EXPECT_EQ(lists.defaultLights, before.defaultLights);
        EXPECT_EQ(lists.areaLights, before.areaLights);
        EXPECT_EQ(lists.customLights, before.customLights);
    }
}

TEST(MacroLibraryFileNameTest, MousepadAndHeadsetUseTheirOwnName) {
    EXPECT_EQ(MacroLibraryFileName(kKeyboardLibrary), "macro.config");
    EXPECT_EQ(MacroLibraryFileName(kMouseLibrary), "macro.config");
    EXPECT_EQ(MacroLibraryFileName(kMousepadLibrary), "nurak_macro.config");
    EXPECT_EQ(MacroLibraryFileName(kHeadsetLibrary), "nurak_macro.config");
}

TEST(DeviceLibraryPlacesTest, NamesTheFilesOfTheModel) {
    TempDir shipped;
    SetShippedDataFolder(shipped.path());
    const fs::path data = "/data/Mouse";
    const LibraryPlaces mouse = DeviceLibraryPlaces(data, kMouseLibrary);
    EXPECT_EQ(mouse.macroLibrary, data / "macro.config");
    EXPECT_EQ(mouse.defaultLightNames, DefaultDataFolder() / "default_light.json");
    EXPECT_EQ(mouse.customLightLibrary, data / "nurak_light.config");
    EXPECT_EQ(mouse.libraryIndex, kMouseLibrary);
    EXPECT_EQ(DeviceLibraryPlaces(data, kHeadsetLibrary).macroLibrary, data / "nurak_macro.config");
}

TEST(LightModeNameTest, DefaultModesThenCustomModes) {
    DeviceLibraryLists lists;
    for (int i = 0; i < kDefaultLightModeCount; ++i)
        lists.defaultLights.push_back({"d" + std::to_string(i), true});
    lists.customLights = {"c0", "c1"};
    struct Case {
        int mode;
        const char* expected;
    };
    const Case cases[] = {{0, "d0"}, {11, "d11"}, {12, "c0"}, {13, "c1"}, {14, ""}, {-1, ""}, {1000, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(LightModeName(lists, c.mode), c.expected);
    }
}

TEST(LightModeNameTest, ShortDefaultListNeverSpillsIntoCustomNames) {
    DeviceLibraryLists lists;
    lists.defaultLights = {{"wave", true}, {"cycle", true}};
    lists.customLights = {"mine"};
    EXPECT_EQ(LightModeName(lists, 1), "cycle");
    EXPECT_EQ(LightModeName(lists, 2), "");
    EXPECT_EQ(LightModeName(lists, 11), "");
    EXPECT_EQ(LightModeName(lists, 12), "mine");
}

}  // namespace
