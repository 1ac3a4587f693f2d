#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "profile/basic_profile_data.h"
#include "profile/headset_profile_data.h"
#include "profile/json_file_store.h"
#include "profile/keyboard_profile_data.h"
#include "profile/mouse_profile_data.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

// Shows JSON values as text in failure messages.
namespace Json {
void PrintTo(const Value& value, std::ostream* out) {
    *out << nurak::profile::FormatJsonText(value);
}
}  // namespace Json

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

Json::Value Parse(const std::string& text) {
    const Json::Value value = ParseJsonText(text);
    EXPECT_FALSE(value.isNull()) << text;
    return value;
}

Json::Value ReadFile(const fs::path& file) {
    return JsonFileStore().ReadJsonFile(file);
}

void WriteFile(const fs::path& file, const Json::Value& value) {
    ASSERT_EQ(JsonFileStore().WriteJsonFile(file, value), 0);
}

// A profile file holding `device` as "Device"[0].
void WriteProfile(const fs::path& file, const Json::Value& device) {
    Json::Value root;
    root["profilename"] = "Profile 1";
    root["profileUUID"] = "2019_03_07_14_05_09_042";
    root["Device"][0] = device;
    WriteFile(file, root);
}

// Loads `device` (JSON text) through a profile file into `profile`.
template <typename Profile>
void LoadDevice(Profile& profile, const fs::path& folder, const std::string& deviceText) {
    const fs::path file = folder / "profile.Json";
    WriteProfile(file, Parse(deviceText));
    profile.SetProfilePath(file);
    profile.LoadProfile(file);
}

const Json::Value& Device0(const Json::Value& root) {
    return root["Device"][0];
}

// --- LoadProfile, Save -----------------------------------------------------

class LoadProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        defaultDevice = Parse(R"({"LightInfo": {"SelectItem": 4, "Red": 200}, "Shipped": "yes"})");
        Json::Value defaults;
        defaults["Device"][0] = defaultDevice;
        WriteFile(defaultFile, defaults);
        profile.SetProfilePath(profileFile);
        profile.SetDefaultProfilePath(defaultFile);
    }

    TempDir dir;
    fs::path profileFile = dir.path() / "2019_03_07_14_05_09_042.Json";
    fs::path defaultFile = dir.path() / "Default.Json";
    Json::Value defaultDevice;
    CBasicProfiledata profile;
};

TEST_F(LoadProfileTest, RebuildsAMissingDeviceFromTheDefaultKeepingTheIdentity) {
    WriteFileText(profileFile,
                  R"({"profilename": "My games", "profileUUID": "2019_03_07_14_05_09_042", "Device": []})");

    EXPECT_EQ(profile.LoadProfile(profileFile), defaultDevice);
    EXPECT_EQ(profile.DeviceObject(), defaultDevice);

    const Json::Value root = ReadFile(profileFile);
    EXPECT_EQ(root["profilename"], "My games");
    EXPECT_EQ(root["profileUUID"], "2019_03_07_14_05_09_042");
    EXPECT_EQ(Device0(root), defaultDevice);
    EXPECT_EQ(profile.ReadLightInfo().selectItem, 4);
}

TEST_F(LoadProfileTest, RebuildsEveryUnusableProfileFile) {
    struct Case {
        const char* name;
        std::optional<std::string> text;  // nullopt: no file
        std::vector<std::string> keptMembers;
    };
    const std::vector<Case> cases = {
        {"missing file", std::nullopt, {}},
        {"empty file", "", {}},
        {"not JSON", "{\"profilename\": ", {}},
        {"no Device", R"({"profilename": "A", "Other": [1, 2]})", {"profilename", "Other"}},
        {"null element", R"({"profilename": "A", "Device": [null]})", {"profilename"}},
        {"Device not an array",
         R"({"profileUUID": "2019_03_07_14_05_09_042", "Device": {"a": 1}})",
         {"profileUUID"}},
        {"element not an object", R"({"profilename": "A", "Device": [17]})", {"profilename"}},
        {"root is an array", R"([1, 2, 3])", {}},
        {"root is a number", "42", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(profileFile);
        Json::Value before;
        if (c.text) {
            WriteFileText(profileFile, *c.text);
            before = ParseJsonText(*c.text);
        }
        EXPECT_EQ(profile.LoadProfile(profileFile), defaultDevice);
        const Json::Value root = ReadFile(profileFile);
        ASSERT_TRUE(root.isObject());
        EXPECT_EQ(Device0(root), defaultDevice);
        for (const std::string& member : c.keptMembers) EXPECT_EQ(root[member], before[member]) << member;
    }
}

TEST_F(LoadProfileTest, UsesAPresentDeviceWithoutWriting) {
    const std::string text = R"({"profilename": "A", "Device": [{"LightInfo": {"Red": 9}}]})";
    WriteFileText(profileFile, text);
    EXPECT_EQ(profile.LoadProfile(profileFile), Parse(R"({"LightInfo": {"Red": 9}})"));
    EXPECT_EQ(ReadFileText(profileFile), text);
}

TEST_F(LoadProfileTest, WritesNothingWhenTheDefaultIsMissingToo) {
    struct Case {
        const char* name;
        std::string defaultText;
    };
    const std::vector<Case> cases = {
        {"no default file", ""},
        {"default without Device", R"({"Device": []})"},
        {"default element not an object", R"({"Device": ["x"]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(defaultFile);
        if (!c.defaultText.empty()) WriteFileText(defaultFile, c.defaultText);

        fs::remove(profileFile);
        EXPECT_TRUE(profile.LoadProfile(profileFile).isNull());
        EXPECT_TRUE(profile.DeviceObject().isNull());
        EXPECT_FALSE(fs::exists(profileFile));

        WriteFileText(profileFile, "[1]");
        EXPECT_TRUE(profile.LoadProfile(profileFile).isNull());
        EXPECT_EQ(ReadFileText(profileFile), "[1]");
    }
}

TEST_F(LoadProfileTest, EmptyPathsAreIgnored) {
    profile.SetProfilePath("");
    profile.SetDefaultProfilePath("");
    EXPECT_EQ(profile.GetProfilePath(), profileFile);
    EXPECT_EQ(profile.GetDefaultProfilePath(), defaultFile);
}

TEST(SaveTest, KeepsOtherRootAndDeviceMembers) {
    TempDir dir;
    const fs::path file = dir.path() / "p.Json";
    WriteFileText(file,
                  R"({"profilename": "Mine", "profileUUID": "2019_03_07_14_05_09_042", "Extra": {"k": [1]},
                  "Device": [{"Unknown": "kept", "LightInfo": {"Red": 1, "Own": 5}}, {"Second": true}]})");
    CBasicProfiledata profile;
    profile.SetProfilePath(file);
    profile.LoadProfile(file);
    profile.WriteLightInfo(0x04030201, 0x08070601, 0x0b0a09);
    EXPECT_EQ(profile.Save(), 0);

    const Json::Value root = ReadFile(file);
    EXPECT_EQ(root["profilename"], "Mine");
    EXPECT_EQ(root["profileUUID"], "2019_03_07_14_05_09_042");
    EXPECT_EQ(root["Extra"], Parse(R"({"k": [1]})"));
    EXPECT_EQ(root["Device"][1], Parse(R"({"Second": true})"));
    const Json::Value& device = Device0(root);
    EXPECT_EQ(device["Unknown"], "kept");
    EXPECT_EQ(
        device["LightInfo"],
        Parse(R"({"SelectItem": 1, "Light": 2, "Speed": 3, "Fx": 4, "MultiColor": 1, "Red": 6, "Green": 7,
                        "Blue": 8, "Own": 5})"));
}

TEST(SaveTest, ReportsTheWriteResult) {
    TempDir dir;
    CBasicProfiledata profile;
    profile.SetProfilePath(dir.path() / "missing folder" / "p.Json");
    EXPECT_EQ(profile.Save(), 1);

    const Json::Value value = Parse(R"({"a": 1})");
    EXPECT_EQ(profile.WriteWholeFile(value, dir.path() / "whole.Json"), 0);
    EXPECT_EQ(ReadFile(dir.path() / "whole.Json"), value);
    EXPECT_EQ(profile.WriteWholeFile(value, dir.path() / "no" / "whole.Json"), 1);

    WriteFileText(dir.path() / "other.Json", R"({"profilename": "B"})");
    EXPECT_EQ(profile.SaveDeviceObject(value, dir.path() / "other.Json"), 0);
    EXPECT_EQ(ReadFile(dir.path() / "other.Json"), Parse(R"({"profilename": "B", "Device": [{"a": 1}]})"));
}

// --- Light sections and effects --------------------------------------------

TEST(LightTest, ReadsAndWritesTheLightInfo) {
    TempDir dir;
    CBasicProfiledata profile;
    LoadDevice(profile, dir.path(),
               R"({"LightInfo": {"SelectItem": 2, "Light": 3, "Speed": 4, "Fx": 5, "MultiColor": true,
                                 "Red": 10, "Green": 20, "Blue": 300}})");
    LightInfoRecord expected{2, 3, 4, 5, 1, 10, 20, 44, {0, 0, 0}};
    EXPECT_EQ(profile.ReadLightInfo(), expected);

    profile.WriteLightInfo(0x01020304, 0x30201005, 0xaabbcc);
    // MultiColor is stored as a truth value; the device bytes stay in memory.
    expected = {4, 3, 2, 1, 1, 0x10, 0x20, 0x30, {0xcc, 0xbb, 0xaa}};
    EXPECT_EQ(profile.ReadLightInfo(), expected);
    EXPECT_EQ(profile.DeviceObject()["LightInfo"]["MultiColor"], 1);
    EXPECT_FALSE(profile.DeviceObject()["LightInfo"].isMember("deviceBytes"));
}

TEST(LightTest, AMissingLightInfoLeavesTheRecord) {
    TempDir dir;
    CBasicProfiledata profile;
    LoadDevice(profile, dir.path(), R"({"LightInfo": {"Red": 1}})");
    profile.WriteLightInfo(0x01010101, 0x02020202, 0x030303);
    const LightInfoRecord written = profile.ReadLightInfo();
    for (const char* device : {R"({})", R"({"LightInfo": null})", R"({"LightInfo": "text"})"}) {
        SCOPED_TRACE(device);
        LoadDevice(profile, dir.path(), device);
        EXPECT_EQ(profile.ReadLightInfo(), written);
        // Reading adds no members.
        if (std::string(device) == "{}") {
            EXPECT_FALSE(profile.DeviceObject().isMember("LightInfo"));
        }
    }
}

TEST(LightTest, ReadsTheLightList) {
    TempDir dir;
    CBasicProfiledata profile;
    LoadDevice(profile, dir.path(),
               R"({"LightList": [{"LEDREGMode": 1, "LEDBrightness": 2, "LEDSpeed": 3, "LEDDirection": 7,
                                  "LEDMultiColor": false, "red": 4, "green": 5, "blue": 6}, null, {}]})");
    const std::vector<LightListEntry> expected = {
        {1, 2, 3, 1, 0, 4, 5, 6, 1}, {}, {0, 0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(profile.ReadLightList(), expected);

    LoadDevice(profile, dir.path(), R"({"Other": 1})");
    EXPECT_TRUE(profile.ReadLightList().empty());
}

class LightEffectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(libraryFolder);
        WriteFileText(libraryFolder / "2020_01_02_03_04_05_006.light",
                      R"({"LEDEffectList": [
                  {"LEDREGMode": 1, "LEDDirection": 1, "LEDBrightness": 2, "LEDSpeed": 3, "LEDMultiColor": 0,
                   "red": 255, "green": 128, "blue": 7, "Time": 70000, "Cyle": 3},
                  {"red": 1}]})");
        // Where a Guid leading out of the folder would land.
        WriteFileText(dir.path() / "x.light", R"({"LEDEffectList": [{"red": 9}]})");
    }

    void WriteLibrary(const std::string& guid) {
        Json::Value library;
        library["LightInfo"][0][0]["Guid"] = "unused";
        library["LightInfo"][0][1]["LightName"] = "Wave";
        library["LightInfo"][0][1]["Guid"] = guid;
        WriteFile(libraryFile, library);
    }

    // Loads a profile whose light mode selects custom light 1.
    void SelectLight() {
        LoadDevice(profile, dir.path(), R"({"LightInfo": {"SelectItem": 1}})");
        profile.ReadLightInfo();
    }

    TempDir dir;
    fs::path libraryFolder = dir.path() / "library";
    fs::path libraryFile = libraryFolder / "nurak_light.config";
    CBasicProfiledata profile;
};

TEST_F(LightEffectTest, ReadsTheEffectBesideTheLibrary) {
    WriteLibrary("2020_01_02_03_04_05_006");
    SelectLight();
    profile.SetLightLibraryPath(libraryFile);
    EXPECT_EQ(profile.LoadLightLibrary(libraryFile), ReadFile(libraryFile));
    const std::vector<LightEffectStep> expected = {{1, 2, 3, 1, 0, 255, 128, 7, 70000, 3},
                                                   {0, 0, 0, 0, 0, 1, 0, 0, 0, 0}};
    EXPECT_EQ(profile.ReadCustomLightEffect(), expected);
}

TEST_F(LightEffectTest, GivesNoStepsWhenSomethingIsMissingOrUnsafe) {
    struct Case {
        const char* name;
        std::optional<std::string> guid;  // nullopt: no library file
        std::string selectDevice;
    };
    const std::vector<Case> cases = {
        {"no library", std::nullopt, R"({"LightInfo": {"SelectItem": 1}})"},
        {"no effect file", "2021_01_01_01_01_01_001", R"({"LightInfo": {"SelectItem": 1}})"},
        {"Guid out of the folder", "../x", R"({"LightInfo": {"SelectItem": 1}})"},
        {"absolute Guid", (dir.path() / "x").string(), R"({"LightInfo": {"SelectItem": 1}})"},
        {"empty Guid", "", R"({"LightInfo": {"SelectItem": 1}})"},
        {"selection beyond the library", "2020_01_02_03_04_05_006", R"({"LightInfo": {"SelectItem": 7}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A previous effect must not survive.
        WriteLibrary("2020_01_02_03_04_05_006");
        SelectLight();
        profile.LoadLightLibrary(libraryFile);
        ASSERT_FALSE(profile.ReadCustomLightEffect().empty());

        fs::remove(libraryFile);
        if (c.guid) WriteLibrary(*c.guid);
        LoadDevice(profile, dir.path(), c.selectDevice);
        profile.ReadLightInfo();
        profile.LoadLightLibrary(libraryFile);
        EXPECT_TRUE(profile.ReadCustomLightEffect().empty());
    }
}

// --- Key list ----------------------------------------------------------------

TEST(KeyListTest, SplitsTheCodesAndWritesOnlyTheAssignment) {
    TempDir dir;
    CBasicProfiledata profile;
    LoadDevice(profile, dir.path(),
               R"({"KeyList": [{"Assignment": 1193046, "DefaultAssignment": 65794},
                               {"Assignment": -1},
                               {"DefaultAssignment": 2097152, "Label": "keep"}]})");
    std::vector<KeyAssignmentRecord> keys = profile.ReadKeyList();
    const std::vector<KeyAssignmentRecord> expected = {
        {{0, 0x12, 0x34, 0x56}, {0, 0x01, 0x01, 0x02}},
        {{1, 0xff, 0xff, 0xff}, {1, 0, 0, 0}},
        {{2, 0, 0, 0}, {2, 0x20, 0, 0}},
    };
    EXPECT_EQ(keys, expected);

    keys[0].current = {0, 0x0a, 0x0b, 0x0c};
    keys[0].defaults = {0, 0x77, 0x77, 0x77};
    keys[2].current = {2, 0x01, 0x00, 0x05};
    keys.push_back({{3, 0, 0, 9}, {3, 1, 1, 1}});
    profile.WriteKeyAssignments(keys);
    profile.Save();

    CBasicProfiledata reloaded;
    reloaded.LoadProfile(profile.GetProfilePath());
    const Json::Value& list = reloaded.DeviceObject()["KeyList"];
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], Parse(R"({"Assignment": 658188, "DefaultAssignment": 65794})"));
    EXPECT_EQ(list[1], Parse(R"({"Assignment": 16777215})"));
    EXPECT_EQ(list[2], Parse(R"({"Assignment": 65541, "DefaultAssignment": 2097152, "Label": "keep"})"));
    EXPECT_EQ(list[3], Parse(R"({"Assignment": 9})"));
}

// --- Mouse -------------------------------------------------------------------

TEST(DpiStageTest, TheSensorChoosesTheStageArray) {
    struct Case {
        std::uint32_t sensor;
        std::optional<std::string> array;
    };
    const std::vector<Case> cases = {
        {0x3335, "StageDPIs"},      {0x3327, "StageDPIs"},  {0x3389, "StageDPIs"},
        {0x3360, "StageDPIs_3360"}, {0x1234, std::nullopt}, {0, std::nullopt},
    };
    const std::string device = R"({"DPIStages": {"StageActive": 1,
        "StageDPIs": [{"StageActive": 1, "StageDPIX": 800, "StageDPIY": 800}],
        "StageDPIs_3360": [{"StageActive": 1, "StageDPIX": 3600, "StageDPIY": 3600}]}})";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sensor);
        TempDir dir;
        EXPECT_EQ(StageArrayName(c.sensor).has_value(), c.array.has_value());

        CMouseProfiledata mouse;
        mouse.SetSensorModel(c.sensor);
        LoadDevice(mouse, dir.path(), device);
        const std::vector<DpiStageRecord> stages = mouse.ReadDpiStages();
        EXPECT_EQ(mouse.GetActiveDpiStage(), 1);
        if (!c.array) {
            EXPECT_TRUE(stages.empty());
        } else {
            ASSERT_EQ(stages.size(), 1u);
            EXPECT_EQ(stages[0].DpiX(), *c.array == "StageDPIs" ? 800 : 3600);
        }

        CMouseProfiledata writer;
        writer.SetSensorModel(c.sensor);
        LoadDevice(writer, dir.path(), R"({"DPIStages": {"StageActive": 2}})");
        DpiStageRecord stage;
        stage.SetDpiX(1600);
        stage.SetDpiY(1200);
        writer.WriteDpiStages({stage, stage});
        writer.Save();
        const Json::Value section = Device0(ReadFile(writer.GetProfilePath()))["DPIStages"];
        EXPECT_EQ(section["StageActive"], 2);
        for (const char* name : {"StageDPIs", "StageDPIs_3360"}) {
            if (c.array && *c.array == name) {
                ASSERT_EQ(section[name].size(), 2u);
                EXPECT_EQ(section[name][1]["StageDPIX"], 1600);
                EXPECT_EQ(section[name][1]["StageDPIY"], 1200);
            } else {
                EXPECT_FALSE(section.isMember(name)) << name;
            }
        }
    }
}

TEST(DpiStageTest, LoadingTwoStagesIntoFiveKeepsTheRest) {
    TempDir dir;
    CMouseProfiledata mouse;
    LoadDevice(mouse, dir.path(), R"({})");
    std::vector<DpiStageRecord> five(5);
    for (std::size_t i = 0; i < five.size(); ++i) {
        five[i].SetDpiX(static_cast<std::uint16_t>(100 * (i + 1)));
        five[i].colorB = static_cast<std::uint8_t>(i + 1);
    }
    mouse.WriteDpiStages(five);
    LoadDevice(mouse, dir.path(),
               R"({"DPIStages": {"StageActive": 3, "StageDPIs": [
                   {"StageActive": 1, "StageXY": 1, "StageDPIX": 51000, "StageDPIY": 26000,
                    "StageColorR": 255, "StageColorG": 1, "StageColorB": 2},
                   {"StageDPIX": 70000}]}})");
    const std::vector<DpiStageRecord> stages = mouse.ReadDpiStages();
    ASSERT_EQ(stages.size(), 5u);
    EXPECT_EQ(stages[0],
              (DpiStageRecord{1, 1, 51000 & 0xff, 51000 >> 8, 26000 & 0xff, 26000 >> 8, 255, 1, 2}));
    EXPECT_EQ(stages[1].DpiX(), 70000 & 0xffff);
    EXPECT_EQ(stages[1].stageActive, 0);
    for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(stages[i], five[i]) << i;
    EXPECT_EQ(mouse.GetActiveDpiStage(), 3);

    mouse.SetActiveDpiStage(4);
    EXPECT_EQ(mouse.GetActiveDpiStage(), 4);
    EXPECT_EQ(mouse.DeviceObject()["DPIStages"]["StageActive"], 4);
}

TEST(DpiStageTest, AMissingSectionLeavesTheStages) {
    TempDir dir;
    CMouseProfiledata mouse;
    LoadDevice(mouse, dir.path(), R"({"DPIStages": {"StageActive": 2, "StageDPIs": [{"StageDPIX": 400}]}})");
    const std::vector<DpiStageRecord> loaded = mouse.ReadDpiStages();
    for (const char* device : {R"({})", R"({"DPIStages": null})", R"({"DPIStages": [1]})"}) {
        SCOPED_TRACE(device);
        LoadDevice(mouse, dir.path(), device);
        EXPECT_EQ(mouse.ReadDpiStages(), loaded);
        EXPECT_EQ(mouse.GetActiveDpiStage(), 2);
    }
}

TEST(SystemSettingsTest, MouseWordsPackAndUnpack) {
    TempDir dir;
    CMouseProfiledata mouse;
    LoadDevice(mouse, dir.path(), R"({"SystemStages": {"Other": 1}})");
    const MouseSystemSettings written = MouseSystemSettings::FromValues(500, 10, 1, 3, 7, 2, 1);
    EXPECT_EQ(written.word0, 500u | (10u << 16));
    EXPECT_EQ(written.word2, 7u | (2u << 16));
    mouse.WriteMouseSystemSettings(written.word0, written.word1, written.word2, written.word3);
    mouse.Save();

    const Json::Value device = Device0(ReadFile(mouse.GetProfilePath()));
    EXPECT_EQ(device["SystemStages"],
              Parse(R"({"DoubleClickTime": 500, "MouseSpeed": 10, "PointerPrecision": 1, "ScorllPage": 3,
                        "WheelScorlllinse": 7, "MSHSelectItem": 1, "Other": 1})"));
    EXPECT_EQ(device["ReportStages"], Parse(R"({"StageActive": 2})"));

    CMouseProfiledata reloaded;
    reloaded.LoadProfile(mouse.GetProfilePath());
    const MouseSystemSettings read = reloaded.ReadMouseSystemSettings();
    EXPECT_EQ(read, written);
    EXPECT_EQ(read.DoubleClickTime(), 500);
    EXPECT_EQ(read.MouseSpeed(), 10);
    EXPECT_EQ(read.PointerPrecision(), 1);
    EXPECT_EQ(read.ScrollPage(), 3);
    EXPECT_EQ(read.WheelLines(), 7);
    EXPECT_EQ(read.ReportRateIndex(), 2);
    EXPECT_EQ(read.MshSelectItem(), 1);
}

TEST(SystemSettingsTest, MissingSectionsReadZeros) {
    struct Case {
        const char* device;
        MouseSystemSettings expected;
    };
    const std::vector<Case> cases = {
        {R"({"SystemStages": {"DoubleClickTime": 300, "MouseSpeed": 6, "MSHSelectItem": 2}})",
         MouseSystemSettings::FromValues(300, 6, 0, 0, 0, 0, 2)},
        {R"({"SystemStages": {"WheelScorlllinse": 3}, "ReportStages": null})",
         MouseSystemSettings::FromValues(0, 0, 0, 0, 3, 0, 0)},
        {R"({"ReportStages": {"StageActive": 3}})", MouseSystemSettings::FromValues(0, 0, 0, 0, 0, 3, 0)},
        {R"({"SystemStages": null})", MouseSystemSettings{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        TempDir dir;
        CMouseProfiledata mouse;
        mouse.WriteMouseSystemSettings(1, 2, 3, 4);
        LoadDevice(mouse, dir.path(), c.device);
        EXPECT_EQ(mouse.ReadMouseSystemSettings(), c.expected);
    }
}

TEST(SystemSettingsTest, KeyboardWordsPackAndUnpack) {
    TempDir dir;
    CKeyboardProfiledata keyboard;
    LoadDevice(keyboard, dir.path(), R"({})");
    const KeyboardSystemSettings written = KeyboardSystemSettings::FromValues(30, 500, 1, 3, 0, 1);
    EXPECT_EQ(written.word0, 30u | (500u << 16));
    keyboard.WriteKeyboardSystemSettings(written.word0, written.word1, written.word2);
    EXPECT_EQ(keyboard.DeviceObject()["SystemStages"],
              Parse(R"({"Repeat": 30, "RepeatDelay": 500, "Key6Flag": 1, "PollingRate": 3, "WFlag": 0,
                        "WinFlag": 1})"));
    keyboard.Save();

    CKeyboardProfiledata reloaded;
    reloaded.LoadProfile(keyboard.GetProfilePath());
    const KeyboardSystemSettings read = reloaded.ReadKeyboardSystemSettings();
    EXPECT_EQ(read, written);
    EXPECT_EQ(read.RepeatDelay(), 500);
    EXPECT_EQ(read.PollingRate(), 3);
    EXPECT_EQ(read.WinFlag(), 1);

    LoadDevice(reloaded, dir.path(), R"({"SystemStages": null})");
    EXPECT_EQ(reloaded.ReadKeyboardSystemSettings(), KeyboardSystemSettings{});
}

TEST(SystemSettingsTest, HeadsetValuesRoundTrip) {
    TempDir dir;
    CHs6533Profiledata headset;
    LoadDevice(headset, dir.path(), R"({"SystemSetStages": {"MagicEnable": 5}})");
    EXPECT_EQ(headset.ReadHeadsetSystemSettings(), (HeadsetSystemSettings{5, 0, 0, 0, 0, 0, 0, 0}));

    const HeadsetSystemSettings written{1, 2, 3, 4, 5, -6, 7, 100000};
    headset.WriteHeadsetSystemSettings(written);
    headset.Save();
    CHs6533Profiledata reloaded;
    reloaded.LoadProfile(headset.GetProfilePath());
    EXPECT_EQ(reloaded.ReadHeadsetSystemSettings(), written);
    EXPECT_EQ(reloaded.DeviceObject()["SystemSetStages"]["CustomEqSeletIndex"], 4);
    EXPECT_EQ(reloaded.DeviceObject()["SystemSetStages"]["MicMoniterValue"], 100000);

    LoadDevice(reloaded, dir.path(), R"({})");
    EXPECT_EQ(reloaded.ReadHeadsetSystemSettings(), HeadsetSystemSettings{});
}

TEST(CorrectInfoTest, ReadsTheList) {
    TempDir dir;
    CMouseProfiledata mouse;
    LoadDevice(mouse, dir.path(),
               R"({"CorrectInfo": [{"CorrectPixThresh": 3, "CorrectMinSq": 258, "CorrectSelect": 1,
                                    "CorrectName": "Glass"}, {"CorrectName": 5}]})");
    const std::vector<CorrectInfoEntry> expected = {{3, 2, 1, "Glass"}, {0, 0, 0, ""}};
    EXPECT_EQ(mouse.ReadCorrectInfo(), expected);
    LoadDevice(mouse, dir.path(), R"({"CorrectInfo": null})");
    EXPECT_TRUE(mouse.ReadCorrectInfo().empty());
}

// --- Keyboard custom colours -------------------------------------------------

TEST(CustomLightTest, AMissingGroupGivesZeroColoursThatAreSaved) {
    TempDir dir;
    CKeyboardProfiledata keyboard;
    LoadDevice(
        keyboard, dir.path(),
        R"({"CustomLightMode": {"LightColorInfo": [[{"Red": 1, "Green": 2, "Blue": 3, "Alpha": 4}]]}})");
    const std::vector<CustomLightColor> colours = keyboard.ReadCustomLightColors(2, 3);
    EXPECT_EQ(colours, std::vector<CustomLightColor>(3));

    keyboard.Save();
    const Json::Value info =
        Device0(ReadFile(keyboard.GetProfilePath()))["CustomLightMode"]["LightColorInfo"];
    ASSERT_EQ(info.size(), 3u);
    EXPECT_EQ(info[0][0]["Red"], 1);
    ASSERT_EQ(info[2].size(), 3u);
    for (Json::ArrayIndex i = 0; i < 3; ++i)
        EXPECT_EQ(info[2][i], Parse(R"({"Red": 0, "Green": 0, "Blue": 0, "Alpha": 0})")) << i;
}

TEST(CustomLightTest, CompletesAGroupAndKeepsItsColours) {
    TempDir dir;
    CKeyboardProfiledata keyboard;
    LoadDevice(keyboard, dir.path(),
               R"({"CustomLightMode": {"LightColorInfo": [[{"Red": 1, "Green": 2, "Blue": 300, "Alpha": -1},
                                                           null, 7]]}})");
    const std::vector<CustomLightColor> expected = {{1, 2, 44, 255}, {}, {}, {}};
    EXPECT_EQ(keyboard.ReadCustomLightColors(0, 4), expected);
    const Json::Value& group = keyboard.DeviceObject()["CustomLightMode"]["LightColorInfo"][0];
    ASSERT_EQ(group.size(), 4u);
    EXPECT_EQ(group[0]["Blue"], 300);  // read values are left as stored
    for (Json::ArrayIndex i = 1; i < 4; ++i) EXPECT_EQ(group[i]["Alpha"], 0) << i;

    EXPECT_TRUE(keyboard.ReadCustomLightColors(0, -5).empty());
    const Json::Value before = keyboard.DeviceObject();
    EXPECT_EQ(keyboard.ReadCustomLightColors(-1, 2), std::vector<CustomLightColor>(2));
    EXPECT_EQ(keyboard.ReadCustomLightColors(kMaxWritableIndex + 1, 2), std::vector<CustomLightColor>(2));
    EXPECT_EQ(keyboard.DeviceObject(), before);
}

TEST(CustomLightTest, WritesColoursAndTheGroupIndex) {
    TempDir dir;
    CKeyboardProfiledata keyboard;
    LoadDevice(keyboard, dir.path(), R"({"CustomLightMode": {"Other": "kept"}})");
    EXPECT_EQ(keyboard.ReadCustomLightGroupIndex(), 0);
    EXPECT_EQ(keyboard.DeviceObject()["CustomLightMode"]["CustomLightModeGroupIndex"], 0);

    keyboard.WriteCustomLightColors({{9, 8, 7, 6}, {5, 4, 3, 2}}, 1);
    keyboard.WriteCustomLightGroupIndex(1);
    keyboard.Save();

    CKeyboardProfiledata reloaded;
    reloaded.LoadProfile(keyboard.GetProfilePath());
    EXPECT_EQ(reloaded.ReadCustomLightGroupIndex(), 1);
    const std::vector<CustomLightColor> expected = {{9, 8, 7, 6}, {5, 4, 3, 2}};
    EXPECT_EQ(reloaded.ReadCustomLightColors(1, 2), expected);
    EXPECT_EQ(reloaded.DeviceObject()["CustomLightMode"]["Other"], "kept");
}

// --- Headset equaliser -------------------------------------------------------

Json::Value BandsOf(int base) {
    Json::Value slot(Json::arrayValue);
    for (int b = 0; b < 10; ++b) slot[b]["value"] = base + b;
    return slot;
}

std::vector<std::int32_t> ValuesOf(int base) {
    std::vector<std::int32_t> values;
    for (int b = 0; b < 10; ++b) values.push_back(base + b);
    return values;
}

TEST(EqualiserTest, TypesMapToPresetSlots) {
    struct Case {
        int eqType;
        std::optional<std::size_t> slot;
    };
    const std::vector<Case> cases = {{0, 1},  {1, 1},  {5, 5}, {12, 12}, {13, std::nullopt},
                                     {14, 1}, {20, 1}, {-3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eqType);
        EXPECT_EQ(EqSlot(c.eqType), c.slot);

        TempDir dir;
        Json::Value device;
        for (int slot = 0; slot <= 12; ++slot) device["EQHzValueInfo"][slot] = BandsOf(100 * slot);
        const fs::path file = dir.path() / "p.Json";
        WriteProfile(file, device);
        const std::string before = ReadFileText(file);

        CHs6533Profiledata headset;
        headset.SetProfilePath(file);
        headset.LoadProfile(file);
        const std::vector<std::int32_t> bands = headset.ReadEqBands(c.eqType);
        EqBands written{};
        written.fill(-7);
        headset.WriteEqBands(c.eqType, written);
        headset.Save();
        if (!c.slot) {
            EXPECT_TRUE(bands.empty());
            EXPECT_EQ(ReadFileText(file), before);
            continue;
        }
        EXPECT_EQ(bands, ValuesOf(100 * static_cast<int>(*c.slot)));
        const Json::Value saved = Device0(ReadFile(file))["EQHzValueInfo"];
        for (Json::ArrayIndex slot = 0; slot <= 12; ++slot) {
            const int expected = slot == *c.slot ? -7 : 100 * static_cast<int>(slot) + 9;
            EXPECT_EQ(saved[slot][9]["value"], expected) << slot;
        }
    }
}

TEST(EqualiserTest, MissingBandsAreWrittenAsZero) {
    TempDir dir;
    CHs6533Profiledata headset;
    LoadDevice(headset, dir.path(), R"({"EQHzValueInfo": [null, [{"value": 4}, {}, null, 7]]})");
    std::vector<std::int32_t> expected(10, 0);
    expected[0] = 4;
    EXPECT_EQ(headset.ReadEqBands(1), expected);
    const Json::Value& slot = headset.DeviceObject()["EQHzValueInfo"][1];
    ASSERT_EQ(slot.size(), 10u);
    EXPECT_EQ(slot[1], Parse("{}"));
    for (Json::ArrayIndex b = 2; b < 10; ++b) EXPECT_EQ(slot[b], Parse(R"({"value": 0})")) << b;

    EXPECT_EQ(headset.ReadEqBands(7), std::vector<std::int32_t>(10, 0));
    ASSERT_EQ(headset.DeviceObject()["EQHzValueInfo"][7].size(), 10u);
    EXPECT_EQ(headset.DeviceObject()["EQHzValueInfo"][7][9], Parse(R"({"value": 0})"));
}

TEST(EqualiserTest, CustomBandsUseTheIndexAsIs) {
    TempDir dir;
    CHs6533Profiledata headset;
    Json::Value device;
    device["CustomEQHzValueInfo"][0] = BandsOf(10);
    device["CustomEQHzValueInfo"][1] = BandsOf(20);
    LoadDevice(headset, dir.path(), FormatJsonText(device));
    EXPECT_EQ(headset.ReadCustomEqBands(0), ValuesOf(10));
    EXPECT_EQ(headset.ReadCustomEqBands(1), ValuesOf(20));
    EXPECT_EQ(headset.ReadCustomEqBands(3), std::vector<std::int32_t>(10, 0));
    EXPECT_EQ(headset.DeviceObject()["CustomEQHzValueInfo"][3][0], Parse(R"({"value": 0})"));

    EqBands bands{};
    for (std::size_t b = 0; b < bands.size(); ++b) bands[b] = static_cast<std::int32_t>(b) - 5;
    headset.WriteCustomEqBands(1, bands);
    EXPECT_EQ(headset.ReadCustomEqBands(1), std::vector<std::int32_t>(bands.begin(), bands.end()));

    const Json::Value before = headset.DeviceObject();
    EXPECT_EQ(headset.ReadCustomEqBands(-1), std::vector<std::int32_t>(10, 0));
    headset.WriteCustomEqBands(-1, bands);
    headset.WriteCustomEqBands(2000000000, bands);
    EXPECT_EQ(headset.DeviceObject(), before);
}

TEST(EqualiserTest, CustomNamesAreReplaced) {
    TempDir dir;
    CHs6533Profiledata headset;
    LoadDevice(
        headset, dir.path(),
        R"({"CustomEQNameInfo": [{"Name": "Rock"}, {"Name": 3}, {"Name": "Old", "Extra": 1}, {"Name": "Gone"}]})");
    EXPECT_EQ(headset.ReadCustomEqNames(), (std::vector<std::string>{"Rock", "", "Old", "Gone"}));

    headset.WriteCustomEqNames({"Bass", "Voix claire"});
    headset.Save();
    CHs6533Profiledata reloaded;
    reloaded.LoadProfile(headset.GetProfilePath());
    EXPECT_EQ(reloaded.ReadCustomEqNames(), (std::vector<std::string>{"Bass", "Voix claire"}));
    EXPECT_EQ(reloaded.DeviceObject()["CustomEQNameInfo"],
              Parse(R"([{"Name": "Bass"}, {"Name": "Voix claire"}])"));

    LoadDevice(reloaded, dir.path(), R"({"CustomEQNameInfo": {"Name": "x"}})");
    EXPECT_TRUE(reloaded.ReadCustomEqNames().empty());
}

// --- Robustness --------------------------------------------------------------

// Numbers are cut to their field; anything but an integer in the 32-bit range
// reads 0.
TEST(RobustnessTest, NumbersAreCutToTheirField) {
    struct Case {
        const char* number;
        std::uint8_t byte;
        std::uint16_t half;
        std::uint8_t flag;
    };
    const std::vector<Case> cases = {
        {"7", 7, 7, 1},
        {"300", 44, 300, 1},
        {"-1", 255, 65535, 1},
        {"65537", 1, 1, 1},
        {"4294967295", 255, 65535, 1},
        {"7.0", 7, 7, 1},
        {"7.5", 0, 0, 0},
        {"1e30", 0, 0, 0},
        {"99999999999", 0, 0, 1},
        {"-99999999999", 0, 0, 1},
        {"true", 0, 0, 1},
        {"\"12\"", 0, 0, 0},
        {"null", 0, 0, 0},
        {"[3]", 0, 0, 0},
        {"{\"a\": 1}", 0, 0, 0},
        {"0", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        TempDir dir;
        const std::string n = c.number;
        CMouseProfiledata mouse;
        LoadDevice(mouse, dir.path(),
                   R"({"LightInfo": {"Red": )" + n + R"(, "MultiColor": )" + n + R"(},
                       "DPIStages": {"StageDPIs": [{"StageDPIX": )" +
                       n + R"(, "StageColorG": )" + n + R"(}]},
                       "SystemStages": {"MouseSpeed": )" +
                       n + "}}");
        const LightInfoRecord light = mouse.ReadLightInfo();
        EXPECT_EQ(light.red, c.byte);
        EXPECT_EQ(light.multiColor, c.flag);
        const std::vector<DpiStageRecord> stages = mouse.ReadDpiStages();
        ASSERT_EQ(stages.size(), 1u);
        EXPECT_EQ(stages[0].DpiX(), c.half);
        EXPECT_EQ(stages[0].colorG, c.byte);
        EXPECT_EQ(mouse.ReadMouseSystemSettings().MouseSpeed(), c.half);
    }
}

struct AllReads {
    CMouseProfiledata mouse;
    CKeyboardProfiledata keyboard;
    CHs6533Profiledata headset;
    CBasicProfiledata pad;

    void SetPaths(const fs::path& profile, const fs::path& defaults) {
        for (CBasicProfiledata* p : Profiles()) {
            p->SetProfilePath(profile);
            p->SetDefaultProfilePath(defaults);
        }
    }

    std::vector<CBasicProfiledata*> Profiles() { return {&mouse, &keyboard, &headset, &pad}; }

    // Runs every read operation of every class. True when every value read is
    // zero or empty.
    bool ReadAllZero(const fs::path& lightLibrary) {
        bool zero = true;
        const auto expect = [&zero](bool ok) { zero = zero && ok; };
        for (CBasicProfiledata* p : Profiles()) {
            expect(p->ReadLightInfo() == LightInfoRecord{});
            for (LightListEntry entry : p->ReadLightList()) {
                entry.present = 0;
                expect(entry == LightListEntry{});
            }
            for (const KeyAssignmentRecord& key : p->ReadKeyList())
                expect(key.current.Code() == 0 && key.defaults.Code() == 0);
            p->LoadLightLibrary(lightLibrary);
            expect(p->ReadCustomLightEffect().empty());
        }
        for (const DpiStageRecord& stage : mouse.ReadDpiStages()) expect(stage == DpiStageRecord{});
        expect(mouse.GetActiveDpiStage() == 0);
        expect(mouse.ReadMouseSystemSettings() == MouseSystemSettings{});
        for (const CorrectInfoEntry& entry : mouse.ReadCorrectInfo()) expect(entry == CorrectInfoEntry{});

        expect(keyboard.ReadKeyboardSystemSettings() == KeyboardSystemSettings{});
        expect(keyboard.ReadCustomLightGroupIndex() == 0);
        expect(keyboard.ReadCustomLightColors(0, 4) == std::vector<CustomLightColor>(4));
        expect(keyboard.ReadCustomLightColors(1, 2) == std::vector<CustomLightColor>(2));

        expect(headset.ReadHeadsetSystemSettings() == HeadsetSystemSettings{});
        for (const int eqType : {0, 1, 12, 14})
            expect(headset.ReadEqBands(eqType) == std::vector<std::int32_t>(10, 0));
        expect(headset.ReadEqBands(13).empty());
        expect(headset.ReadCustomEqBands(0) == std::vector<std::int32_t>(10, 0));
        for (const std::string& name : headset.ReadCustomEqNames()) expect(name.empty());
        return zero;
    }
};

TEST(RobustnessTest, BrokenDeviceObjectsReadAsZeros) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"strings for numbers",
         R"({"LightInfo": {"SelectItem": "1", "Light": "x", "MultiColor": "true", "Red": "255"},
             "LightList": [{"LEDREGMode": "2", "red": "1", "LEDDirection": "yes"}],
             "KeyList": [{"Assignment": "65536", "DefaultAssignment": "1"}],
             "DPIStages": {"StageActive": "2", "StageDPIs": [{"StageDPIX": "800", "StageActive": "1"}]},
             "SystemStages": {"DoubleClickTime": "500", "Repeat": "3"}, "ReportStages": {"StageActive": "1"},
             "CorrectInfo": [{"CorrectPixThresh": "1", "CorrectName": 5}],
             "CustomLightMode": {"LightColorInfo": [[{"Red": "1"}]], "CustomLightModeGroupIndex": "1"},
             "SystemSetStages": {"EqType": "3", "MicInValue": "5"},
             "EQHzValueInfo": [[], [{"value": "3"}]], "CustomEQHzValueInfo": [[{"value": "1"}]],
             "CustomEQNameInfo": [{"Name": 1}]})"},
        {"objects for arrays",
         R"({"LightList": {"a": 1}, "KeyList": {"Assignment": 5}, "DPIStages": {"StageDPIs": {"StageDPIX": 5}},
             "CorrectInfo": {"CorrectSelect": 1}, "CustomLightMode": {"LightColorInfo": {"Red": 3}},
             "EQHzValueInfo": {"value": 3}, "CustomEQHzValueInfo": {"0": [{"value": 2}]},
             "CustomEQNameInfo": {"Name": "x"}})"},
        {"arrays and scalars for objects",
         R"({"LightInfo": [1, 2], "DPIStages": 5, "SystemStages": [500], "ReportStages": "1",
             "CustomLightMode": [[{"Red": 1}]], "SystemSetStages": true,
             "EQHzValueInfo": [5, "x", [7, "y", [1]]], "CustomEQHzValueInfo": [[[{"value": 1}]]],
             "LightList": [1, "x", [2]], "KeyList": [1, [2]], "CorrectInfo": [[1]]})"},
        {"huge numbers",
         R"({"LightInfo": {"SelectItem": 1e30, "Light": 99999999999, "Red": -99999999999, "MultiColor": 1e30},
             "KeyList": [{"Assignment": 99999999999, "DefaultAssignment": 1e30}],
             "DPIStages": {"StageActive": 99999999999, "StageDPIs": [{"StageDPIX": 1e30, "StageDPIY": 99999999999}]},
             "SystemStages": {"DoubleClickTime": 1e30, "MouseSpeed": 99999999999, "Repeat": 1e300},
             "ReportStages": {"StageActive": 99999999999},
             "CustomLightMode": {"LightColorInfo": [[{"Red": 1e30, "Alpha": 99999999999}]],
                                 "CustomLightModeGroupIndex": 99999999999},
             "SystemSetStages": {"EqType": 99999999999, "MicInValue": 1e30},
             "EQHzValueInfo": [[], [{"value": 99999999999}]], "CustomEQHzValueInfo": [[{"value": -1e30}]]})"},
        {"nested nulls",
         R"({"LightInfo": null, "LightList": [null, {"red": null}], "KeyList": [null, {"Assignment": null}],
             "DPIStages": {"StageActive": null, "StageDPIs": [null, {"StageDPIX": null}], "StageDPIs_3360": null},
             "SystemStages": {"DoubleClickTime": null}, "ReportStages": null, "CorrectInfo": [null],
             "CustomLightMode": {"LightColorInfo": [null, [null]], "CustomLightModeGroupIndex": null},
             "SystemSetStages": null, "EQHzValueInfo": [null, [null, {"value": null}]],
             "CustomEQHzValueInfo": null, "CustomEQNameInfo": [null, {"Name": null}]})"},
        {"every section null",
         R"({"LightInfo": null, "LightList": null, "KeyList": null, "DPIStages": null, "SystemStages": null,
             "ReportStages": null, "CorrectInfo": null, "CustomLightMode": null, "SystemSetStages": null,
             "EQHzValueInfo": null, "CustomEQHzValueInfo": null, "CustomEQNameInfo": null})"},
        {"device is a string", R"("device")"},
        {"device is an array", R"([{"LightInfo": {"Red": 5}}])"},
    };
    for (const auto& [name, device] : cases) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path file = dir.path() / "p.Json";
        WriteProfile(file, Parse(device));
        WriteFileText(dir.path() / "light.config", R"({"LightInfo": [[{"Guid": 5}, {"Guid": null}]]})");

        AllReads reads;
        reads.SetPaths(file, dir.path() / "none.Json");
        for (CBasicProfiledata* p : reads.Profiles()) p->LoadProfile(file);
        bool zero = false;
        EXPECT_NO_THROW(zero = reads.ReadAllZero(dir.path() / "light.config"));
        EXPECT_TRUE(zero);
        // What the reads wrote is saved and loads again.
        for (CBasicProfiledata* p : reads.Profiles()) {
            const Json::Value saved = p->DeviceObject();
            EXPECT_EQ(p->Save(), 0);
            // Compared as text: an array grown past its end holds no
            // elements for the gap in memory, the file holds nulls there.
            EXPECT_EQ(FormatJsonText(p->LoadProfile(file)), FormatJsonText(saved));
        }
    }
}

// Every file of an outside corpus of valid and broken JSON, as a profile and
// as a default profile.
TEST(RobustnessTest, CorpusFilesAsProfilesNeverBreakTheReaders) {
    const fs::path corpus = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    ASSERT_TRUE(fs::is_directory(corpus));
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    for (const fs::path& source : files) {
        SCOPED_TRACE(source.filename().string());
        TempDir dir;
        const fs::path profileFile = dir.path() / "p.Json";
        for (const bool asDefault : {false, true}) {
            SCOPED_TRACE(asDefault ? "as default" : "as profile");
            fs::remove(profileFile);
            if (!asDefault) fs::copy_file(source, profileFile);
            const fs::path defaults = asDefault ? source : dir.path() / "none.Json";

            AllReads reads;
            reads.SetPaths(profileFile, defaults);
            std::vector<Json::Value> loaded;
            for (CBasicProfiledata* p : reads.Profiles()) {
                EXPECT_NO_THROW(loaded.push_back(p->LoadProfile(profileFile)));
                EXPECT_TRUE(loaded.back().isNull() || loaded.back().isObject());
            }
            EXPECT_NO_THROW(reads.ReadAllZero(source));
            // A loaded or rebuilt file gives the same device object again.
            CBasicProfiledata again;
            again.SetDefaultProfilePath(dir.path() / "none.Json");
            EXPECT_EQ(again.LoadProfile(profileFile), loaded.front());
        }
    }
}

}  // namespace
