// The shipped defaults must agree with the devices they are for: the key
// functions with the factory key tables, the DPI stages with the codes the
// mice hold from the factory, and each file with the shape its readers need.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "emulator/firmware.h"
#include "profile/data_places.h"
#include "profile/json_file_store.h"

namespace nurak::profile {
namespace {

Json::Value ReadShipped(const std::string& name) {
    JsonFileStore store;
    Json::Value value = store.ReadJsonFile(DefaultDataFolder() / name);
    EXPECT_TRUE(value.isObject()) << name << " does not parse as an object";
    return value;
}

const Json::Value& DeviceObject(const Json::Value& profile) {
    return JsonArrayItem(JsonMember(profile, "Device"), 0);
}

uint32_t Packed(const emu::KeyFunction& f) {
    return static_cast<uint32_t>(f.type) << 16 | static_cast<uint32_t>(f.arg1) << 8 | f.arg2;
}

TEST(ShippedDefaults, EveryDeviceFolderHasAProfileWithTheCommonSections) {
    for (const char* folder : {"mouse", "keyboard", "MousePad", "HD", "mouse3389"}) {
        SCOPED_TRACE(folder);
        const Json::Value profile = ReadShipped(std::string(folder) + ".Json");
        const Json::Value& device = DeviceObject(profile);
        ASSERT_TRUE(device.isObject());
        EXPECT_TRUE(JsonMember(device, "LightInfo").isObject());
        EXPECT_TRUE(JsonMember(device, "LightList").isArray());
        // Name and identity are given when a profile is made from the default.
        EXPECT_TRUE(JsonMember(profile, "profilename").isNull());
        EXPECT_TRUE(JsonMember(profile, "profileUUID").isNull());
    }
}

TEST(ShippedDefaults, KeyFunctionsAreTheFactoryFunctions) {
    struct Case {
        const char* file;
        std::span<const emu::KeyFunction> factory;
    };
    const Case cases[] = {{"mouse.Json", emu::MouseFactoryFunctions()},
                          {"mouse3389.Json", emu::MouseFactoryFunctions()},
                          {"keyboard.Json", emu::KeyboardFactoryFunctions()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Json::Value profile = ReadShipped(c.file);
        const Json::Value& keys = JsonMember(DeviceObject(profile), "KeyList");
        ASSERT_EQ(keys.size(), c.factory.size());
        for (Json::ArrayIndex i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(JsonInt(keys[i], "Assignment", -1), static_cast<int>(Packed(c.factory[i])))
                << "key " << i;
            EXPECT_EQ(JsonInt(keys[i], "DefaultAssignment", -1), static_cast<int>(Packed(c.factory[i])));
        }
    }
}

TEST(ShippedDefaults, MouseStagesAreTheFactoryStagesPlusTwoSwitchedOff) {
    struct Case {
        const char* file;
        emu::Model model;
        int codeOffset;  // the 3389 keeps each code plus one
    };
    const Case cases[] = {{"mouse.Json", emu::Model::Mouse, 0}, {"mouse3389.Json", emu::Model::Mouse3389, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        emu::Firmware firmware(c.model);
        const auto block = firmware.parameters().subspan(128 * firmware.parameters()[0], 56);
        const Json::Value profile = ReadShipped(c.file);
        const Json::Value& stagesObject = JsonMember(DeviceObject(profile), "DPIStages");
        const Json::Value& stages = JsonMember(stagesObject, "StageDPIs");
        ASSERT_EQ(stages.size(), 7u);
        EXPECT_EQ(JsonInt(stagesObject, "StageActive", -1), block[29]);
        for (Json::ArrayIndex s = 0; s < 7; ++s) {
            const bool on = s < 5;
            EXPECT_EQ(JsonInt(stages[s], "StageActive", -1), on ? 1 : 0) << "stage " << s;
            if (!on) continue;
            const int code = block[15 + 2 * s] | block[16 + 2 * s] << 8;
            EXPECT_EQ(JsonInt(stages[s], "StageDPIX", -1) + c.codeOffset, code) << "stage " << s;
            EXPECT_EQ(JsonInt(stages[s], "StageDPIY", -1), JsonInt(stages[s], "StageDPIX", -2));
        }
        EXPECT_EQ(JsonMember(stagesObject, "StageDPIs_3360").size(), 7u);
    }
}

TEST(ShippedDefaults, HeadsetHasTheTwelveEqualiserPresets) {
    const Json::Value profile = ReadShipped("HD.Json");
    const Json::Value& slots = JsonMember(DeviceObject(profile), "EQHzValueInfo");
    ASSERT_EQ(slots.size(), 13u);
    // Preset 2 and preset 12, bands 1-10.
    const int preset2[10] = {7, 11, 6, -3, -11, -1, 6, 13, 6, 13};
    const int preset12[10] = {2, 1, -2, -4, -8, 4, 12, 16, 18, 15};
    for (Json::ArrayIndex slot = 1; slot <= 12; ++slot) {
        ASSERT_EQ(slots[slot].size(), 10u) << "slot " << slot;
        for (Json::ArrayIndex band = 0; band < 10; ++band) {
            const int value = JsonInt(slots[slot][band], "value", 99);
            if (slot == 2) {
                EXPECT_EQ(value, preset2[band]);
            } else if (slot == 5) {
                EXPECT_EQ(value, 0);
            } else if (slot == 12) {
                EXPECT_EQ(value, preset12[band]);
            }
        }
    }
}

TEST(ShippedDefaults, DefaultLightNamesCoverEveryModeOfEachLibraryIndex) {
    const Json::Value lights = ReadShipped("default_light.json");
    // Library index: 0 keyboard (modes 0-24), 1 mice (0-11), 2 mousepad and 3 headset (0-8).
    const Json::ArrayIndex modes[4] = {25, 12, 9, 9};
    for (Json::ArrayIndex index = 0; index < 4; ++index) {
        const Json::Value& names = JsonArrayItem(JsonMember(lights, "DefaultLightName"), index);
        ASSERT_EQ(names.size(), modes[index]) << "library index " << index;
        for (const Json::Value& name : names) {
            EXPECT_FALSE(JsonString(name, "LightName", "").empty());
            EXPECT_TRUE(JsonMember(name, "visible").isBool());
        }
        EXPECT_GE(JsonArrayItem(JsonMember(lights, "AreaLightName"), index).size(), 1u);
    }
}

TEST(ShippedDefaults, RecoilFilesHoldThirtyBulletsOfSixEvents) {
    for (int gun = 0; gun < 4; ++gun) {
        SCOPED_TRACE(gun);
        const Json::Value file = ReadShipped("ShootData_" + std::to_string(gun) + ".Shoot");
        const Json::Value& events = JsonMember(file, "Events");
        ASSERT_EQ(events.size(), 180u);
        for (Json::ArrayIndex b = 0; b < 30; ++b) {
            const auto e = [&](Json::ArrayIndex k) -> const Json::Value& { return events[6 * b + k]; };
            EXPECT_EQ(JsonString(e(0), "Action", ""), "down");
            EXPECT_EQ(JsonString(e(1), "Action", ""), "up");
            const int types[6] = {1, 1, 4, 5, 4, 5};
            for (Json::ArrayIndex k = 0; k < 6; ++k) EXPECT_EQ(JsonInt(e(k), "Type", -1), types[k]);
            EXPECT_GT(JsonInt(e(3), "Button", 0), 0) << "bullet " << b << " pulls nothing";
            EXPECT_GT(JsonInt(e(3), "Delay", 0), 0);
        }
    }
}

TEST(ShippedDefaults, LanguagesListEnglishAndSimplifiedChinese) {
    const Json::Value file = ReadShipped("Language.config");
    const Json::Value& languages = JsonMember(file, "Language");
    ASSERT_EQ(languages.size(), 2u);
    int ids[2];
    for (Json::ArrayIndex i = 0; i < 2; ++i) {
        for (const char* member : {"Language_name", "Language_file", "Language_text"})
            EXPECT_FALSE(JsonString(languages[i], member, "").empty()) << member;
        ids[i] = JsonInt(languages[i], "Language_ID", 0);
    }
    EXPECT_EQ(ids[0], 2052);
    EXPECT_EQ(ids[1], 1033);
}

}  // namespace
}  // namespace nurak::profile
