#include "profile/recoil_files.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <json/value.h>

#include "profile/json_file_store.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

Json::Value Event(const char* action, int button, int delay, int type) {
    Json::Value event;
    event["Action"] = action;
    event["Button"] = button;
    event["Delay"] = delay;
    event["Type"] = type;
    return event;
}

// A full gun file whose bullet b pulls b + base to the left, 2b + base up and
// waits 100 + b, with a member of its own that must survive every edit.
Json::Value GunDocument(int base, const char* tag) {
    Json::Value root;
    root["Name"] = tag;
    root["Version"] = 64;
    for (int b = 0; b < kBulletCount; ++b) {
        Json::Value& events = root["Events"];
        events.append(Event("down", 1, 10, 1));
        events.append(Event("up", 1, 0, 1));
        events.append(Event("down", b + base, 5, 4));
        events.append(Event("down", 2 * b + base, 100 + b, 5));
        events.append(Event("down", 0, 0, 4));
        events.append(Event("down", 0, 0, 5));
    }
    return root;
}

class RecoilFilesTest : public ::testing::Test {
  protected:
    RecoilFilesTest() {
        fs::create_directories(data());
        fs::create_directories(factory());
        files_.SetDataFolder(data());
        files_.SetDefaultFolder(factory());
    }
    fs::path data() const { return dir_.path() / "data"; }
    fs::path factory() const { return dir_.path() / "DefaultData"; }
    void PutFactoryGuns() {
        for (int gun = 0; gun < kGunCount; ++gun) {
            ASSERT_EQ(store_.WriteJsonFile(factory() / ShootFileName(gun), GunDocument(gun * 10, "factory")),
                      0);
        }
    }
    void PutDataGun(int gun, int base) {
        ASSERT_EQ(store_.WriteJsonFile(data() / ShootFileName(gun), GunDocument(base, "mine")), 0);
    }
    Json::Value ReadDataGun(int gun) { return store_.ReadJsonFile(data() / ShootFileName(gun)); }

    TempDir dir_;
    JsonFileStore store_;
    RecoilFiles files_;
};

TEST(RecoilClampTest, IndicesStayInsideTheTables) {
    struct Case {
        int in;
        int gun;
        int bullet;
    };
    const Case cases[] = {
        {INT_MIN, 0, 0}, {-1, 0, 0},  {0, 0, 0},   {3, 3, 3},
        {4, 3, 4},       {29, 3, 29}, {30, 3, 29}, {INT_MAX, 3, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(ClampGun(c.in), c.gun);
        EXPECT_EQ(ClampBullet(c.in), c.bullet);
    }
    // Next on the last bullet and previous on the first stay where they are.
    EXPECT_EQ(ClampBullet(29 + 1), 29);
    EXPECT_EQ(ClampBullet(0 - 1), 0);
}

TEST(RecoilClampTest, FileNamesOfTheGuns) {
    EXPECT_EQ(ShootFileName(0), "ShootData_0.Shoot");
    EXPECT_EQ(ShootFileName(3), "ShootData_3.Shoot");
    EXPECT_EQ(ShootFileName(9), "ShootData_3.Shoot");
    EXPECT_EQ(ShootFileName(-2), "ShootData_0.Shoot");
}

TEST_F(RecoilFilesTest, SaveWritesTheSixEventsOfTheBullet) {
    PutFactoryGuns();
    PutDataGun(0, 50);
    const BulletSetting setting{.xLeft = true, .xDistance = 3, .yUp = true, .yDistance = 7, .delay = 90};
    ASSERT_TRUE(files_.SaveBullet(0, 0, setting));

    const Json::Value root = ReadDataGun(0);
    const Json::Value expected[] = {
        Event("down", 1, 10, 1), Event("up", 1, 0, 1),   Event("down", 3, 5, 4),
        Event("down", 7, 90, 5), Event("down", 0, 0, 4), Event("down", 0, 0, 5),
    };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(root["Events"][i], expected[i]);
    }
    // Everything else of the file is as it was.
    Json::Value untouched = GunDocument(50, "mine");
    for (int i = 0; i < 6; ++i) untouched["Events"][i] = expected[i];
    EXPECT_EQ(root, untouched);
}

TEST_F(RecoilFilesTest, RightAndDownAreUp) {
    PutDataGun(1, 0);
    const BulletSetting setting{.xLeft = false, .xDistance = 4, .yUp = false, .yDistance = 2, .delay = 30};
    ASSERT_TRUE(files_.SaveBullet(1, 5, setting));
    const Json::Value events = ReadDataGun(1)["Events"];
    EXPECT_EQ(events[32], Event("up", 4, 5, 4));
    EXPECT_EQ(events[33], Event("up", 2, 30, 5));
    EXPECT_EQ(events[34], Event("up", 0, 0, 4));
    EXPECT_EQ(events[35], Event("up", 0, 0, 5));
    EXPECT_EQ(events[30], Event("down", 1, 10, 1));
    EXPECT_EQ(events[31], Event("up", 1, 0, 1));
}

TEST_F(RecoilFilesTest, SavedBulletReadsBackAsGiven) {
    PutDataGun(2, 0);
    const BulletSetting cases[] = {
        {true, 3, true, 7, 90},
        {false, 0, false, 0, 0},
        {true, -12, false, -1, -5},
        {false, INT_MAX, true, INT_MIN, INT_MAX},
    };
    int bullet = 0;
    for (const BulletSetting& setting : cases) {
        SCOPED_TRACE(bullet);
        ASSERT_TRUE(files_.SaveBullet(2, bullet, setting));
        EXPECT_EQ(files_.ReadBullet(2, bullet), setting);
        bullet += 7;
    }
    // Bullets that were not saved still read from the file.
    EXPECT_EQ(files_.ReadBullet(2, 1), (BulletSetting{true, 1, true, 2, 101}));
}

TEST_F(RecoilFilesTest, SavingIntoAShortFileLeavesNoHoles) {
    WriteFileText(data() / ShootFileName(0),
                  R"({"Events": [{"Action": "down", "Button": 1, "Delay": 10, "Type": 1}],
                                       "Keep": [1, 2]})");
    const BulletSetting setting{true, 9, true, 8, 70};
    ASSERT_TRUE(files_.SaveBullet(0, 2, setting));

    const Json::Value root = ReadDataGun(0);
    ASSERT_EQ(root["Events"].size(), 18u);
    EXPECT_EQ(root["Keep"], ParseJsonText("[1, 2]"));
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(root["Events"][i].isObject());
    }
    EXPECT_EQ(root["Events"][1], Event("up", 1, 0, 1));
    EXPECT_EQ(root["Events"][9], Event("up", 0, 0, 5));
    EXPECT_EQ(files_.ReadBullet(0, 0), BulletSetting{});
    EXPECT_EQ(files_.ReadBullet(0, 1), BulletSetting{});
    EXPECT_EQ(files_.ReadBullet(0, 2), setting);
}

TEST_F(RecoilFilesTest, SavingCreatesAMissingOrBrokenFile) {
    const char* files[] = {nullptr, "not json", "[1, 2, 3]", R"({"Events": 5})", R"({"Events": [3, "x"]})"};
    for (const char* text : files) {
        SCOPED_TRACE(text ? text : "missing");
        fs::remove(data() / ShootFileName(3));
        if (text) WriteFileText(data() / ShootFileName(3), text);
        const BulletSetting setting{true, 1, false, 2, 3};
        ASSERT_TRUE(files_.SaveBullet(3, 0, setting));
        EXPECT_EQ(files_.ReadBullet(3, 0), setting);
        EXPECT_EQ(ReadDataGun(3)["Events"][0], Event("down", 1, 10, 1));
    }
}

TEST_F(RecoilFilesTest, OutOfRangeIndicesAreClamped) {
    PutDataGun(0, 0);
    PutDataGun(3, 0);
    const BulletSetting setting{true, 11, true, 22, 33};
    ASSERT_TRUE(files_.SaveBullet(7, 40, setting));
    EXPECT_EQ(files_.ReadBullet(3, 29), setting);
    EXPECT_EQ(ReadDataGun(3)["Events"].size(), 180u);
    EXPECT_EQ(files_.ReadBullet(-5, -5), files_.ReadBullet(0, 0));
    EXPECT_EQ(files_.ReadBullet(0, 0), (BulletSetting{true, 0, true, 0, 100}));
}

TEST_F(RecoilFilesTest, MalformedEventsReadAsZero) {
    struct Case {
        const char* name;
        const char* file;
    };
    const Case cases[] = {
        {"missing file", nullptr},
        {"not json", "{\"Events\": ["},
        {"events not an array", R"({"Events": {"2": {"Action": "down", "Button": 3}}})"},
        {"events not objects", R"({"Events": [0, 0, "down", [3], 0, 0]})"},
        {"too short", R"({"Events": [{}, {}]})"},
        {"numbers of other types",
         R"({"Events": [{}, {}, {"Action": "down2", "Button": "3", "Delay": 5},
                        {"Action": "Down", "Button": 1.5, "Delay": 4294967296}]})"},
        {"action not a string", R"({"Events": [{}, {}, {"Action": true, "Button": 1e40}, {"Action": 1}]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(data() / ShootFileName(1));
        if (c.file) WriteFileText(data() / ShootFileName(1), c.file);
        EXPECT_EQ(files_.ReadBullet(1, 0), BulletSetting{});
    }
}

TEST_F(RecoilFilesTest, ImportThenReadShowsTheImportedFile) {
    PutDataGun(1, 0);
    const fs::path chosen = dir_.path() / "chosen.shoot";
    ASSERT_EQ(store_.WriteJsonFile(chosen, GunDocument(200, "imported")), 0);

    ASSERT_TRUE(files_.ImportGun(1, chosen));
    EXPECT_EQ(files_.ReadBullet(1, 4), (BulletSetting{true, 204, true, 208, 104}));
    EXPECT_EQ(ReadFileText(data() / ShootFileName(1)), ReadFileText(chosen));

    // An edit afterwards keeps the imported file's other members.
    ASSERT_TRUE(files_.SaveBullet(1, 4, BulletSetting{}));
    const Json::Value root = ReadDataGun(1);
    EXPECT_EQ(root["Name"], "imported");
    EXPECT_EQ(root["Version"], 64);
    EXPECT_EQ(files_.ReadBullet(1, 5), (BulletSetting{true, 205, true, 210, 105}));
}

TEST_F(RecoilFilesTest, RefusedImportLeavesTheGunAlone) {
    PutDataGun(2, 5);
    const std::string before = ReadFileText(data() / ShootFileName(2));
    struct Case {
        const char* name;
        const char* text;  // nullptr: no file at the path
    };
    const Case cases[] = {
        {"missing", nullptr}, {"not json", "{\"Events\": [1,"},
        {"array", "[1, 2]"},  {"number", "42"},
        {"null", "null"},     {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path chosen = dir_.path() / "chosen.shoot";
        fs::remove(chosen);
        if (c.text) WriteFileText(chosen, c.text);
        EXPECT_FALSE(files_.ImportGun(2, chosen));
        EXPECT_EQ(ReadFileText(data() / ShootFileName(2)), before);
    }
    EXPECT_FALSE(files_.ImportGun(2, fs::path()));
    EXPECT_EQ(ReadFileText(data() / ShootFileName(2)), before);
}

TEST_F(RecoilFilesTest, ExportCopiesTheGunFile) {
    PutDataGun(3, 1);
    const fs::path chosen = dir_.path() / "out.shoot";
    ASSERT_TRUE(files_.ExportGun(3, chosen));
    EXPECT_EQ(ReadFileText(chosen), ReadFileText(data() / ShootFileName(3)));

    EXPECT_FALSE(files_.ExportGun(3, fs::path()));
    EXPECT_FALSE(files_.ExportGun(0, dir_.path() / "none.shoot"));
    EXPECT_FALSE(fs::exists(dir_.path() / "none.shoot"));
}

TEST_F(RecoilFilesTest, ResetRestoresOnlyTheSelectedGun) {
    PutFactoryGuns();
    for (int gun = 0; gun < kGunCount; ++gun) PutDataGun(gun, 77);
    const std::string edited = ReadFileText(data() / ShootFileName(0));

    ASSERT_TRUE(files_.ResetGun(2));
    EXPECT_EQ(ReadFileText(data() / ShootFileName(2)), ReadFileText(factory() / ShootFileName(2)));
    EXPECT_EQ(files_.ReadBullet(2, 3), (BulletSetting{true, 23, true, 26, 103}));
    for (int gun : {0, 1, 3}) {
        SCOPED_TRACE(gun);
        EXPECT_EQ(ReadFileText(data() / ShootFileName(gun)), edited);
    }
}

TEST_F(RecoilFilesTest, ResetWithoutAUsableFactoryFileChangesNothing) {
    PutDataGun(1, 9);
    const std::string before = ReadFileText(data() / ShootFileName(1));
    for (const char* factoryText : {static_cast<const char*>(nullptr), "", "garbage", "[]"}) {
        SCOPED_TRACE(factoryText ? factoryText : "missing");
        fs::remove(factory() / ShootFileName(1));
        if (factoryText) WriteFileText(factory() / ShootFileName(1), factoryText);
        EXPECT_FALSE(files_.ResetGun(1));
        EXPECT_EQ(ReadFileText(data() / ShootFileName(1)), before);
    }
    // Nor is an empty gun file left behind.
    EXPECT_FALSE(files_.ResetGun(0));
    EXPECT_FALSE(fs::exists(data() / ShootFileName(0)));
}

TEST_F(RecoilFilesTest, InitReplacesOnlyUnusableGunFiles) {
    PutFactoryGuns();
    // gun 0 missing, gun 1 unreadable, gun 2 the user's own, gun 3 no object
    WriteFileText(data() / ShootFileName(1), "{\"Events\": [");
    PutDataGun(2, 40);
    WriteFileText(data() / ShootFileName(3), "[]");
    const std::string own = ReadFileText(data() / ShootFileName(2));

    files_.Init();
    for (int gun : {0, 1, 3}) {
        SCOPED_TRACE(gun);
        EXPECT_EQ(ReadFileText(data() / ShootFileName(gun)), ReadFileText(factory() / ShootFileName(gun)));
    }
    EXPECT_EQ(ReadFileText(data() / ShootFileName(2)), own);
}

TEST_F(RecoilFilesTest, InitWithoutFactoryFilesCreatesNothing) {
    files_.Init();
    for (int gun = 0; gun < kGunCount; ++gun) EXPECT_FALSE(fs::exists(data() / ShootFileName(gun)));
}

TEST(RecoilFilesNoFolderTest, NothingHappensUntilTheFoldersAreSet) {
    RecoilFiles files;
    EXPECT_TRUE(files.GunFile(0).empty());
    EXPECT_FALSE(files.SaveBullet(0, 0, BulletSetting{true, 1, true, 1, 1}));
    EXPECT_FALSE(files.ResetGun(0));
    EXPECT_EQ(files.ReadBullet(0, 0), BulletSetting{});
    EXPECT_FALSE(fs::exists(ShootFileName(0)));
}

TEST_F(RecoilFilesTest, NoCorpusFileCrashesAnyOperation) {
    const fs::path corpus = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    ASSERT_TRUE(fs::is_directory(corpus));
    const BulletSetting setting{true, 6, false, 4, 20};
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const fs::path gun = data() / ShootFileName(0);
        const fs::path factoryGun = factory() / ShootFileName(0);
        fs::copy_file(entry.path(), gun, fs::copy_options::overwrite_existing);
        fs::copy_file(entry.path(), factoryGun, fs::copy_options::overwrite_existing);

        // The file read as a gun file, as an import, and as a factory copy.
        const bool usable = store_.ReadJsonFile(entry.path()).isObject();
        EXPECT_EQ(files_.ReadBullet(0, 0), BulletSetting{});
        fs::remove(data() / ShootFileName(1));
        EXPECT_EQ(files_.ImportGun(1, entry.path()), usable);
        EXPECT_EQ(fs::exists(data() / ShootFileName(1)), usable);
        files_.Init();
        EXPECT_EQ(files_.ResetGun(0), usable);
        if (!usable) {
            EXPECT_EQ(ReadFileText(gun), ReadFileText(entry.path()));
        }

        ASSERT_TRUE(files_.SaveBullet(0, 1, setting));
        EXPECT_EQ(files_.ReadBullet(0, 1), setting);
    }
}

}  // namespace
