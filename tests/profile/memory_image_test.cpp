#include "profile/memory_image.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/json_file_store.h"
#include "profile/macro_library.h"
#include "profile/time_stamp_name.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

std::size_t Le16(const Bytes& image, std::size_t at) {
    return image.at(at) | (image.at(at + 1) << 8);
}

// Events with distinct bytes: macro m, event e.
std::vector<MacroEvent> Events(int m, int count) {
    std::vector<MacroEvent> events;
    for (int e = 0; e < count; ++e)
        events.push_back({static_cast<std::uint8_t>(m * 16 + e), static_cast<std::uint8_t>(e), 0x8A,
                          static_cast<std::uint8_t>(0x40 + e)});
    return events;
}

void Append(Bytes& out, std::initializer_list<int> bytes) {
    for (const int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

TEST(MemoryImageTest, TwoMacrosOfThreeAndFiveEvents) {
    const Bytes image = BuildMemoryImage({Events(0, 3), Events(1, 5)});
    Bytes expected;
    Append(expected, {0xAA, 0x55, 60, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 36, 0});
    Append(expected, {3, 0, 0, 0});
    for (const MacroEvent& e : Events(0, 3)) Append(expected, {e.delayLow, e.delayHigh, e.type, e.button});
    Append(expected, {5, 0, 0, 0});
    for (const MacroEvent& e : Events(1, 5)) Append(expected, {e.delayLow, e.delayHigh, e.type, e.button});
    ASSERT_EQ(expected.size(), 60u);
    EXPECT_EQ(image, expected);
    EXPECT_EQ(MemoryImageSize({Events(0, 3), Events(1, 5)}), 60u);
}

TEST(MemoryImageTest, EmptyImagesAndMacrosWithoutEvents) {
    EXPECT_EQ(BuildMemoryImage({}), (Bytes{0xAA, 0x55, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const Bytes image = BuildMemoryImage({{}, Events(1, 1), {}});
    ASSERT_EQ(image.size(), 16u + 18u + 4u);
    EXPECT_EQ(Le16(image, 4), 3u);
    EXPECT_EQ(Le16(image, 16), 22u);
    EXPECT_EQ(Le16(image, 18), 26u);
    EXPECT_EQ(Le16(image, 20), 34u);
    EXPECT_EQ(Le16(image, 22), 0u);
    EXPECT_EQ(Le16(image, 26), 1u);
    EXPECT_EQ(Le16(image, 34), 0u);
}

TEST(MemoryImageTest, SizesBeyondTheHeaderAreRefused) {
    // One macro: 16 + 6 + 4E; 16378 events make 65534 bytes, the largest that fits.
    const Bytes largest = BuildMemoryImage({std::vector<MacroEvent>(16378)});
    ASSERT_EQ(largest.size(), 65534u);
    EXPECT_EQ(Le16(largest, 2), 65534u);
    EXPECT_EQ(Le16(largest, 16), 18u);
    EXPECT_EQ(Le16(largest, 18), 16378u);
    EXPECT_TRUE(BuildMemoryImage({std::vector<MacroEvent>(16379)}).empty());
    EXPECT_EQ(MemoryImageSize({std::vector<MacroEvent>(16379)}), 65538u);
}

TEST(MemoryImageTest, OverflowCountsEventsOverTheCapacityPlusOne) {
    struct Case {
        std::size_t size;
        int units;
        int overflow;
    };
    const Case cases[] = {
        {4094, 32, 0},
        {4096, 32, 0},
        {4098, 32, 1},
        {4100, 32, 2},
        {4136, 32, 11},
        {16, 0, 5},
        {16, -3, 5},
        {128, 1, 0},
        {130, 1, 1},
        // The header cannot describe more than 65535 bytes whatever the memory.
        {65534, 600, 0},
        {65536, 600, 1},
        {65540, 600, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageOverflow(c.size, c.units), c.overflow) << c.size << " in " << c.units << " units";
    EXPECT_EQ(ImageCapacity(32), 4096u);
    EXPECT_EQ(ImageCapacity(255), 32640u);
    EXPECT_EQ(ImageCapacity(600), 65535u);
}

class ImageFilesTest : public ::testing::Test {
  protected:
    fs::path Folder() const { return dir_.path(); }
    fs::path MacFile(const std::string& guid) const { return Folder() / (guid + ".mac"); }

    void WriteLibrary(const std::vector<std::string>& guids) {
        Json::Value root;
        root["MacroInfo"] = Json::Value(Json::arrayValue);
        for (std::size_t i = 0; i < guids.size(); ++i) {
            Json::Value entry;
            entry["MacroName"] = "macro_" + std::to_string(i + 1);
            entry["Guid"] = guids[i];
            root["MacroInfo"].append(entry);
        }
        ASSERT_EQ(store_.WriteJsonFile(Folder() / kMacroLibraryFileName, root), 0);
    }

    // A ".mac" whose event e is a press of button m*16+e after e ms.
    void WriteMac(const std::string& guid, int m, int count) {
        Json::Value root;
        root["Events"] = Json::Value(Json::arrayValue);
        for (int e = 0; e < count; ++e) {
            Json::Value event;
            event["Action"] = "down";
            event["Button"] = m * 16 + e;
            event["Type"] = 10;
            event["Delay"] = std::to_string(e);
            root["Events"].append(event);
        }
        ASSERT_EQ(store_.WriteJsonFile(MacFile(guid), root), 0);
    }

    static std::vector<MacroEvent> Expected(int m, int count) {
        std::vector<MacroEvent> events;
        for (int e = 0; e < count; ++e)
            events.push_back({static_cast<std::uint8_t>(e), 0, 0x8A, static_cast<std::uint8_t>(m * 16 + e)});
        return events;
    }

    // One bullet: the six events of the recoil panel.
    static void AppendBullet(Json::Value& events, int x, int y, int delay) {
        const auto add = [&](const char* action, int button, int eventDelay, int type) {
            Json::Value e;
            e["Action"] = action;
            e["Button"] = button;
            e["Delay"] = eventDelay;
            e["Type"] = type;
            events.append(e);
        };
        add("down", 1, 10, 1);
        add("up", 1, 0, 1);
        add("down", x, 5, 4);
        add("up", y, delay, 5);
        add("down", 0, 0, 4);
        add("up", 0, 0, 5);
    }

    void WriteShoot(int slot, int bullets) {
        Json::Value root;
        root["Events"] = Json::Value(Json::arrayValue);
        for (int b = 0; b < bullets; ++b) AppendBullet(root["Events"], b, slot, 90 + b);
        root["Kept"] = "other members are ignored";
        ASSERT_EQ(store_.WriteJsonFile(Folder() / ("ShootData_" + std::to_string(slot) + ".Shoot"), root), 0);
    }

    TempDir dir_;
    JsonFileStore store_;
};

TEST_F(ImageFilesTest, MacroImageFollowsTheLibraryOrder) {
    const std::string a = MakeTimeStampName(), b = MakeTimeStampName(), missing = MakeTimeStampName();
    WriteLibrary({b, missing, a});
    WriteMac(a, 0, 3);
    WriteMac(b, 1, 5);
    const MemoryImageBuild build = BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 32);
    EXPECT_TRUE(build.libraryReadable);
    EXPECT_EQ(build.overflow, 0);
    EXPECT_EQ(build.macroCount, 3);
    EXPECT_EQ(build.eventCount, 8);
    // The macro without a file keeps its place between the others.
    EXPECT_EQ(build.image, BuildMemoryImage({Expected(1, 5), {}, Expected(0, 3)}));
}

TEST_F(ImageFilesTest, BrokenGuidsGiveEmptyMacrosInPlace) {
    const std::string good = MakeTimeStampName();
    fs::create_directories(Folder() / "sub" / "a");
    WriteMac(good, 2, 2);
    // Bait files that a broken Guid would name.
    const std::string bait = R"({"Events":[{"Action":"down","Button":1,"Type":1,"Delay":"1"}]})";
    WriteFileText(Folder() / "sub" / "a" / "b.mac", bait);
    WriteFileText(Folder() / "x.mac", bait);
    WriteFileText(Folder() / "sub" / ".mac", bait);
    Json::Value root;
    for (const char* guid : {"../x", "a/b", ""}) {
        Json::Value entry;
        entry["Guid"] = guid;
        root["MacroInfo"].append(entry);
    }
    Json::Value last;
    last["Guid"] = good;
    root["MacroInfo"].append(last);
    root["MacroInfo"].append(7);
    ASSERT_EQ(store_.WriteJsonFile(Folder() / "sub" / kMacroLibraryFileName, root), 0);
    fs::copy_file(MacFile(good), Folder() / "sub" / (good + ".mac"));

    const MemoryImageBuild build = BuildMacroImageFromLibrary(Folder() / "sub", kMacroLibraryFileName, 32);
    EXPECT_EQ(build.macroCount, 5);
    EXPECT_EQ(build.eventCount, 2);
    EXPECT_EQ(build.image, BuildMemoryImage({{}, {}, {}, Expected(2, 2), {}}));
}

TEST_F(ImageFilesTest, TooLargeImagesReportTheOverflowAndNoBytes) {
    const std::string g = MakeTimeStampName();
    WriteLibrary({g});
    // 16 + 6 + 4 * 28 = 134 bytes for one unit of 128.
    WriteMac(g, 0, 28);
    MemoryImageBuild build = BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 1);
    EXPECT_TRUE(build.libraryReadable);
    EXPECT_EQ(build.overflow, (134 - 128) / 4 + 1);
    EXPECT_TRUE(build.image.empty());
    EXPECT_EQ(build.eventCount, 28);

    // 26 events make 126 bytes, which fit.
    WriteMac(g, 0, 26);
    build = BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 1);
    EXPECT_EQ(build.overflow, 0);
    EXPECT_EQ(build.image.size(), 126u);
}

TEST_F(ImageFilesTest, UnreadableLibrariesSendNothing) {
    const fs::path library = Folder() / kMacroLibraryFileName;
    EXPECT_FALSE(BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 32).libraryReadable)
        << "missing";
    for (const char* text : {"", "{\"MacroInfo\": [", "[]", "\"text\""}) {
        WriteFileText(library, text);
        const MemoryImageBuild build = BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 32);
        EXPECT_FALSE(build.libraryReadable) << text;
        EXPECT_TRUE(build.image.empty()) << text;
        EXPECT_EQ(build.overflow, 0) << text;
    }
    // A library without entries clears the device's macros.
    WriteFileText(library, "{}");
    const MemoryImageBuild build = BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 32);
    EXPECT_TRUE(build.libraryReadable);
    EXPECT_EQ(build.image, BuildMemoryImage({}));
    EXPECT_FALSE(BuildMacroImageFromLibrary(fs::path(), kMacroLibraryFileName, 32).libraryReadable);
}

TEST_F(ImageFilesTest, MacroFileEventsSkipWhatIsNoEvent) {
    EXPECT_TRUE(ReadMacroFileEvents(Folder() / "missing.mac").empty());
    WriteFileText(Folder() / "odd.mac",
                  R"({"Events":[1,{"Action":"down","Type":1,"Button":2,"Delay":"3"},"x",null,{}]})");
    EXPECT_EQ(ReadMacroFileEvents(Folder() / "odd.mac"),
              (std::vector<MacroEvent>{{3, 0, 0x81, 2}, {0, 0, 0, 0}}));
    WriteFileText(Folder() / "noevents.mac", R"({"Events":{"0":{"Type":1}}})");
    EXPECT_TRUE(ReadMacroFileEvents(Folder() / "noevents.mac").empty());
}

TEST_F(ImageFilesTest, RecoilImageOfFourFullGuns) {
    for (int slot = 0; slot < 4; ++slot) WriteShoot(slot, 30);
    const MemoryImageBuild build = BuildRecoilImageFromFolder(Folder(), 32);
    EXPECT_TRUE(build.libraryReadable);
    EXPECT_EQ(build.overflow, 0);
    EXPECT_EQ(build.macroCount, 4);
    EXPECT_EQ(build.eventCount, 720);
    const Bytes& image = build.image;
    ASSERT_EQ(image.size(), 16u + 24u + 4u * 720u);
    EXPECT_EQ(Le16(image, 2), 2920u);
    EXPECT_EQ(Le16(image, 4), 4u);
    const std::size_t offsets[] = {24, 748, 1472, 2196};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(Le16(image, 16 + 2 * slot), offsets[slot]);
        EXPECT_EQ(Le16(image, offsets[slot]), 180u);
        EXPECT_EQ(Le16(image, offsets[slot] + 2), 0u);
    }
    // Slot 2, bullet 3: press, release, x move of 3, y move of 2 after 93 ms.
    const std::size_t bullet = offsets[2] + 4 + 4 * 6 * 3;
    const Bytes expected = {10, 0, 0x81, 1, 0, 0, 0x01, 1, 5, 0, 0x84, 3,
                            93, 0, 0x05, 2, 0, 0, 0x84, 0, 0, 0, 0x05, 0};
    EXPECT_EQ(Bytes(image.begin() + bullet, image.begin() + bullet + 24), expected);

    // 2920 bytes in 16 units of 128.
    const MemoryImageBuild small = BuildRecoilImageFromFolder(Folder(), 16);
    EXPECT_EQ(small.overflow, (2920 - 2048) / 4 + 1);
    EXPECT_TRUE(small.image.empty());
}

TEST_F(ImageFilesTest, RecoilSlotsWithoutFilesStayInPlace) {
    WriteShoot(0, 1);
    WriteShoot(3, 2);
    WriteFileText(Folder() / "ShootData_1.Shoot", "{ broken");
    const MemoryImageBuild build = BuildRecoilImageFromFolder(Folder(), 32);
    ASSERT_EQ(build.macroCount, 4);
    EXPECT_EQ(build.eventCount, 18);
    ASSERT_EQ(build.image.size(), 16u + 24u + 4u * 18u);
    EXPECT_EQ(Le16(build.image, 16), 24u);
    EXPECT_EQ(Le16(build.image, 18), 52u);
    EXPECT_EQ(Le16(build.image, 20), 56u);
    EXPECT_EQ(Le16(build.image, 22), 60u);
    EXPECT_EQ(Le16(build.image, 60), 12u);

    const MemoryImageBuild none = BuildRecoilImageFromFolder(Folder() / "nothing here", 32);
    EXPECT_EQ(none.image, BuildMemoryImage({{}, {}, {}, {}}));
}

void ExpectConsistent(const MemoryImageBuild& build, int units) {
    if (build.image.empty()) return;
    EXPECT_EQ(build.overflow, 0);
    EXPECT_EQ(Le16(build.image, 2), build.image.size());
    EXPECT_LE(build.image.size(), ImageCapacity(units));
    EXPECT_EQ(build.image.size(), 16u + 6u * build.macroCount + 4u * build.eventCount);
}

// Every file of the outside JSON corpus as a library, as a ".mac" and as a
// recoil file, plain and inside the member that is read.
TEST_F(ImageFilesTest, OutsideJsonCorpusNeverBreaksTheImages) {
    const fs::path corpus = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    ASSERT_TRUE(fs::is_directory(corpus));
    const std::string guid = MakeTimeStampName();
    for (const auto& item : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(item.path().filename().string());
        const std::string text = ReadFileText(item.path());
        for (const std::string& library :
             {text, "{\"MacroInfo\": " + text + "}", "{\"MacroInfo\": [{\"Guid\": " + text + "}]}"}) {
            WriteFileText(Folder() / kMacroLibraryFileName, library);
            ExpectConsistent(BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 255), 255);
        }
        WriteLibrary({guid});
        for (const std::string& events : {text, "{\"Events\": " + text + "}", "{\"Events\": [" + text + "]}",
                                          "{\"Events\": [{\"Delay\": " + text + ", \"Type\": " + text +
                                              ", \"Button\": " + text + "}]}"}) {
            WriteFileText(MacFile(guid), events);
            ExpectConsistent(BuildMacroImageFromLibrary(Folder(), kMacroLibraryFileName, 255), 255);
            for (int slot = 0; slot < 4; ++slot)
                WriteFileText(Folder() / ("ShootData_" + std::to_string(slot) + ".Shoot"), events);
            const MemoryImageBuild recoil = BuildRecoilImageFromFolder(Folder(), 255);
            EXPECT_EQ(recoil.macroCount, 4);
            ExpectConsistent(recoil, 255);
        }
    }
}

}  // namespace
