#include "profile/macro_library.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "profile/data_places.h"
#include "profile/json_file_store.h"
#include "profile/macro_event.h"
#include "profile/time_stamp_name.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

Json::Value Parse(const std::string& text) {
    Json::Value value = ParseJsonText(text);
    EXPECT_FALSE(value.isNull()) << text;
    return value;
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- events

struct EventCase {
    const char* json;
    MacroEvent expected;
};

TEST(MacroEventTest, ConvertsStoredEventRecords) {
    const EventCase cases[] = {
        {R"({"Action":"down","Button":4,"Type":10,"Delay":"100"})", {100, 0, 0x8A, 4}},
        {R"({"Action":"up","Button":4,"Type":10,"Delay":"300"})", {0x2C, 0x01, 0x0A, 4}},
        // Letter case counts: only "down" is a press.
        {R"({"Action":"Down","Button":1,"Type":1,"Delay":"0"})", {0, 0, 0x01, 1}},
        {R"({"Action":"DOWN","Button":1,"Type":1,"Delay":"0"})", {0, 0, 0x01, 1}},
        {R"({"Action":1,"Button":1,"Type":1})", {0, 0, 0x01, 1}},
        // The delay keeps its low 16 bits, however long the number is.
        {R"({"Action":"up","Button":0,"Type":9,"Delay":"65541"})", {5, 0, 0x09, 0}},
        {R"({"Action":"up","Button":0,"Type":9,"Delay":"65535"})", {0xFF, 0xFF, 0x09, 0}},
        {R"({"Action":"up","Button":0,"Type":9,"Delay":"00065541"})", {5, 0, 0x09, 0}},
        {R"({"Action":"up","Button":0,"Type":9,"Delay":"18446744073709551621"})", {5, 0, 0x09, 0}},
        // A number is read as well (the recoil files store integers).
        {R"({"Action":"down","Button":1,"Type":1,"Delay":258})", {2, 1, 0x81, 1}},
        {R"({"Action":"down","Button":1,"Type":1,"Delay":65541})", {5, 0, 0x81, 1}},
        {R"({"Action":"down","Button":1,"Type":1,"Delay":7.0})", {7, 0, 0x81, 1}},
        // Anything that is not plain decimal digits is no delay.
        {R"({"Type":4,"Delay":"12ab"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":" 12"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":"12 "})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":"+12"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":"-12"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":"1.5"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":"0x10"})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":""})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":-5})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":7.5})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":true})", {0, 0, 4, 0}},
        {R"({"Type":4,"Delay":["5"]})", {0, 0, 4, 0}},
        // Type keeps bits 0-6; bit 7 comes from the action only.
        {R"({"Action":"up","Type":138,"Button":0})", {0, 0, 0x0A, 0}},
        {R"({"Action":"down","Type":133,"Button":0})", {0, 0, 0x85, 0}},
        // Button keeps 8 bits.
        {R"({"Action":"up","Type":1,"Button":511})", {0, 0, 0x01, 0xFF}},
        {R"({"Action":"up","Type":1,"Button":-1})", {0, 0, 0x01, 0xFF}},
        {R"({"Action":"up","Type":1,"Button":4294967298})", {0, 0, 0x01, 0x02}},
        {R"({"Action":"down","Type":"10","Button":"4"})", {0, 0, 0x80, 0}},
        // Not an event object at all.
        {R"(5)", {0, 0, 0, 0}},
        {R"(["down",4,10,"100"])", {0, 0, 0, 0}},
        {R"("down")", {0, 0, 0, 0}},
        {R"(null)", {0, 0, 0, 0}},
    };
    for (const EventCase& c : cases) {
        const MacroEvent got = ToMacroEvent(ParseJsonText(c.json));
        EXPECT_EQ(got, c.expected) << c.json << " gave " << int(got.delayLow) << ',' << int(got.delayHigh)
                                   << ',' << int(got.type) << ',' << int(got.button);
    }
}

TEST(MacroEventTest, DelayTextKnowsWhenItLeavesTheDeviceRange) {
    struct Case {
        const char* text;
        bool valid;
        std::uint16_t low16;
        bool above;
        std::uint16_t clamped;
    };
    const Case cases[] = {
        {"0", true, 0, false, 0},
        {"65535", true, 65535, false, 65535},
        {"000000000065535", true, 65535, false, 65535},
        {"65536", true, 0, true, 65535},
        {"1000000", true, 16960, true, 65535},
        {"", false, 0, false, 0},
        {"٣", false, 0, false, 0},  // a digit of another script
    };
    for (const Case& c : cases) {
        const auto got = ParseDelayText(c.text);
        ASSERT_EQ(got.has_value(), c.valid) << c.text;
        if (!got) continue;
        EXPECT_EQ(got->low16, c.low16) << c.text;
        EXPECT_EQ(got->above16Bits, c.above) << c.text;
        EXPECT_EQ(got->Clamped(), c.clamped) << c.text;
    }
}

// ---------------------------------------------------------------- library

class MacroLibraryTest : public ::testing::Test {
  protected:
    MacroLibraryTest() : folder_(dir_.path() / "data") {
        fs::create_directories(folder_);
        model_.SetFolder(folder_);
    }

    fs::path LibraryFile() const { return folder_ / kMacroLibraryFileName; }
    fs::path MacFile(const std::string& guid) const { return folder_ / (guid + ".mac"); }

    // Writes a library of the given entries and loads it.
    void WriteLibrary(const std::vector<MacroEntry>& entries) {
        Json::Value root;
        root["MacroInfo"] = Json::Value(Json::arrayValue);
        for (const MacroEntry& e : entries) {
            Json::Value element;
            element["MacroName"] = e.name;
            element["Guid"] = e.guid;
            root["MacroInfo"].append(element);
        }
        ASSERT_EQ(store_.WriteJsonFile(LibraryFile(), root), 0);
        model_.LoadMacroList();
    }

    std::vector<MacroEntry> Library() const {
        return ReadMacroLibrary(folder_, kMacroLibraryFileName).value_or(std::vector<MacroEntry>{});
    }

    // A ".mac" with `count` key events whose delays are 10, 20, ...
    void WriteMac(const std::string& guid, int count, const std::string& name = "stored") {
        Json::Value root;
        root["MacroName"] = name;
        root["Guid"] = guid;
        root["Version"] = 64;
        root["Events"] = Json::Value(Json::arrayValue);
        for (int i = 0; i < count; ++i) {
            Json::Value e;
            e["Action"] = (i % 2 == 0) ? "down" : "up";
            e["Button"] = 4 + i;
            e["Type"] = 10;
            e["Delay"] = std::to_string(10 * (i + 1));
            root["Events"].append(e);
        }
        ASSERT_EQ(store_.WriteJsonFile(MacFile(guid), root), 0);
    }

    // After the load the library file is a folder, so every write fails.
    void BreakLibraryWrites() {
        fs::remove(LibraryFile());
        fs::create_directories(LibraryFile() / "keep");
    }

    TempDir dir_;
    fs::path folder_;
    JsonFileStore store_;
    MacroLibraryModel model_;
};

TEST_F(MacroLibraryTest, NewMacroTakesTheFirstFreeNumberIgnoringCase) {
    struct Case {
        std::vector<std::string> existing;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{}, "macro_1"},          {{"macro_1", "macro_3"}, "macro_2"},   {{"MACRO_1", "Macro_2"}, "macro_3"},
        {{"macro_2"}, "macro_1"}, {{"macro_1 ", "macro_01"}, "macro_1"},
    };
    for (const Case& c : cases) {
        std::vector<MacroEntry> entries;
        for (const std::string& name : c.existing) entries.push_back({name, MakeTimeStampName()});
        WriteLibrary(entries);
        const std::string name = model_.NewMacro();
        EXPECT_EQ(name, c.expected);
        const std::vector<MacroEntry> stored = Library();
        ASSERT_EQ(stored.size(), c.existing.size() + 1);
        EXPECT_EQ(stored.back().name, c.expected);
        EXPECT_TRUE(IsTimeStampName(stored.back().guid)) << stored.back().guid;
        EXPECT_EQ(model_.Rows(), stored);
        EXPECT_EQ(model_.GetSelectedMacro(), static_cast<int>(c.existing.size()));
        // The event file comes with the first save.
        EXPECT_FALSE(fs::exists(MacFile(stored.back().guid)));
    }
}

TEST_F(MacroLibraryTest, FreshFolderGetsALibraryAndGuidsStayDistinct) {
    model_.LoadMacroList();
    EXPECT_TRUE(model_.Rows().empty());
    EXPECT_EQ(model_.NewMacro(), "macro_1");
    EXPECT_EQ(model_.NewMacro(), "macro_2");
    const auto stored = Library();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_NE(stored[0].guid, stored[1].guid);
    EXPECT_EQ(LibraryMacroNames(folder_, kMacroLibraryFileName),
              (std::vector<std::string>{"macro_1", "macro_2"}));
    EXPECT_EQ(model_.MacroNames(), (std::vector<std::string>{"macro_1", "macro_2"}));
}

TEST_F(MacroLibraryTest, NewGuidAvoidsOnesAlreadyUsed) {
    // The coming milliseconds are taken: stray event files first, then
    // entries of a library written by a clock that runs ahead.
    const Clock::time_point now = Clock::now();
    const auto Name = [&](int ms) { return FormatTimeStampName(now + std::chrono::milliseconds(ms)); };
    std::vector<MacroEntry> ahead;
    for (int ms = 401; ms <= 410; ++ms) ahead.push_back({"ahead " + std::to_string(ms), Name(ms)});
    WriteLibrary(ahead);
    for (int ms = 0; ms <= 400; ++ms) WriteFileText(MacFile(Name(ms)), "stray");

    ASSERT_EQ(model_.NewMacro(), "macro_1");
    const std::string guid = Library().back().guid;
    for (int ms = 0; ms <= 410; ++ms) EXPECT_NE(guid, Name(ms));
    EXPECT_FALSE(fs::exists(MacFile(guid)));
}

TEST_F(MacroLibraryTest, AtFiftyMacrosNothingIsAdded) {
    for (int i = 0; i < kMaxMacros; ++i) ASSERT_FALSE(model_.NewMacro().empty()) << i;
    EXPECT_EQ(model_.Rows().size(), 50u);
    const std::string before = ReadFileText(LibraryFile());
    ASSERT_TRUE(model_.SelectMacro(3));
    const fs::path import = dir_.path() / "in.mac";
    WriteFileText(import, R"({"Events":[]})");
    const auto filesBefore = Listing(folder_);

    EXPECT_EQ(model_.NewMacro(), "");
    EXPECT_EQ(model_.ImportMacro(import), "");
    EXPECT_EQ(ReadFileText(LibraryFile()), before);
    EXPECT_EQ(Listing(folder_), filesBefore);
    EXPECT_EQ(model_.Rows().size(), 50u);
    EXPECT_EQ(model_.GetSelectedMacro(), 3);
}

TEST_F(MacroLibraryTest, RenameChecksNamesAgainstEveryRow) {
    const std::string g1 = MakeTimeStampName(), g2 = MakeTimeStampName();
    WriteLibrary({{"alpha", g1}, {"beta", g2}});
    WriteMac(g1, 2);
    const std::string macBefore = ReadFileText(MacFile(g1));
    int index = 7;

    EXPECT_EQ(model_.RenameMacro("gamma", index), "");
    EXPECT_EQ(index, -1) << "nothing selected";

    ASSERT_TRUE(model_.SelectMacro(0));
    const std::string libraryBefore = ReadFileText(LibraryFile());
    struct Refused {
        const char* name;
        const char* result;
        int index;
    };
    const Refused refused[] = {
        {"", "IsEmpty", -1},
        {"alpha", "", 0},  // its own name
        {"ALPHA", "", 0},
        {"Beta", "", 0},
    };
    for (const Refused& r : refused) {
        index = 7;
        EXPECT_EQ(model_.RenameMacro(r.name, index), r.result) << r.name;
        EXPECT_EQ(index, r.index) << r.name;
    }
    EXPECT_EQ(ReadFileText(LibraryFile()), libraryBefore);

    index = 7;
    EXPECT_EQ(model_.RenameMacro("Gamma Ü", index), "Gamma Ü");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Library(), (std::vector<MacroEntry>{{"Gamma Ü", g1}, {"beta", g2}}));
    EXPECT_EQ(model_.Rows(), Library());
    EXPECT_EQ(ReadFileText(MacFile(g1)), macBefore) << "the event file keeps its name until saved";
}

TEST_F(MacroLibraryTest, DeleteRemovesTheEntryAndItsFile) {
    const std::string g0 = MakeTimeStampName(), g1 = MakeTimeStampName(), g2 = MakeTimeStampName();
    WriteLibrary({{"a", g0}, {"b", g1}, {"c", g2}});
    for (const auto& g : {g0, g1, g2}) WriteMac(g, 1);

    EXPECT_EQ(model_.DeleteMacro(), -1) << "nothing selected";
    EXPECT_EQ(Library().size(), 3u);

    ASSERT_TRUE(model_.SelectMacro(1));
    EXPECT_EQ(model_.DeleteMacro(), 1);
    EXPECT_FALSE(fs::exists(MacFile(g1)));
    EXPECT_TRUE(fs::exists(MacFile(g0)));
    EXPECT_TRUE(fs::exists(MacFile(g2)));
    EXPECT_EQ(Library(), (std::vector<MacroEntry>{{"a", g0}, {"c", g2}}));
    EXPECT_EQ(model_.Rows(), Library());
    EXPECT_EQ(model_.GetSelectedMacro(), 0);

    ASSERT_EQ(model_.DeleteMacro(), 0);
    ASSERT_EQ(model_.DeleteMacro(), 0);
    EXPECT_EQ(model_.GetSelectedMacro(), -1);
    EXPECT_EQ(model_.DeleteMacro(), -1);
    EXPECT_TRUE(Library().empty());
}

TEST_F(MacroLibraryTest, DeleteKeepsAFileThatAnotherEntryNames) {
    const std::string g = MakeTimeStampName();
    WriteLibrary({{"a", g}, {"copy of a", g}});
    WriteMac(g, 2);
    ASSERT_TRUE(model_.SelectMacro(0));
    EXPECT_EQ(model_.DeleteMacro(), 0);
    EXPECT_TRUE(fs::exists(MacFile(g)));
    EXPECT_EQ(model_.LoadMacroEvents().size(), 2u);
}

TEST_F(MacroLibraryTest, SaveWritesTheRowsUpToTheFirstWithoutJson) {
    ASSERT_EQ(model_.NewMacro(), "macro_1");
    const std::string guid = model_.Rows()[0].guid;
    std::vector<MacroEventRow> rows = {
        {R"({"Action":"down","Button":4,"Type":10,"Delay":"1"})", ""},
        {R"({"Action":"up","Button":4,"Type":10,"Delay":"1","Extra":true})", "007"},
        {"", "30"},
        {R"({"Action":"down","Button":5,"Type":10,"Delay":"0"})", "40"},
    };
    ASSERT_TRUE(model_.SaveSelectedMacro(rows));

    const Json::Value file = store_.ReadJsonFile(MacFile(guid));
    EXPECT_EQ(file["MacroName"], "macro_1");
    EXPECT_EQ(file["Guid"], guid);
    EXPECT_EQ(file["Version"], 64);
    ASSERT_EQ(file["Events"].size(), 2u);
    EXPECT_EQ(file["Events"][0], Parse(R"({"Action":"down","Button":4,"Type":10,"Delay":"0"})"));
    EXPECT_EQ(file["Events"][1], Parse(R"({"Action":"up","Button":4,"Type":10,"Delay":"7","Extra":true})"));

    // The rows show what was stored.
    EXPECT_EQ(rows[0].delayText, "0");
    EXPECT_EQ(rows[1].delayText, "7");
    EXPECT_EQ(Parse(rows[1].jsonText), file["Events"][1]);
    EXPECT_EQ(rows[2].jsonText, "");
    EXPECT_EQ(rows[3].delayText, "40") << "rows after the stop are left alone";
}

TEST_F(MacroLibraryTest, SaveNormalisesDelaysAndStopsAtJsonThatIsNoEvent) {
    ASSERT_FALSE(model_.NewMacro().empty());
    const std::string guid = model_.Rows()[0].guid;
    struct Case {
        const char* delay;
        const char* stored;
    };
    const Case delays[] = {{"abc", "0"}, {"-3", "0"}, {"65535", "65535"}, {"70000", "65535"}, {"0042", "42"}};
    std::vector<MacroEventRow> rows;
    for (const Case& c : delays) rows.push_back({R"({"Action":"up","Button":1,"Type":1})", c.delay});
    rows.push_back({"[1,2]", "5"});
    rows.push_back({R"({"Action":"up","Button":1,"Type":1})", "6"});
    ASSERT_TRUE(model_.SaveSelectedMacro(rows));

    const Json::Value events = store_.ReadJsonFile(MacFile(guid))["Events"];
    ASSERT_EQ(events.size(), std::size(delays));
    for (Json::ArrayIndex i = 0; i < events.size(); ++i) EXPECT_EQ(events[i]["Delay"], delays[i].stored);
}

TEST_F(MacroLibraryTest, SaveNeedsASelection) {
    ASSERT_FALSE(model_.NewMacro().empty());
    ASSERT_TRUE(model_.SelectMacro(-1));
    std::vector<MacroEventRow> rows = {{R"({"Type":1})", "1"}};
    const fs::path elsewhere = dir_.path() / "out.mac";
    EXPECT_FALSE(model_.SaveSelectedMacro(rows));
    EXPECT_FALSE(model_.SaveMacro(elsewhere, rows));
    EXPECT_FALSE(fs::exists(elsewhere));
    EXPECT_FALSE(model_.SelectMacro(1));
    EXPECT_FALSE(model_.SelectMacro(-2));
    EXPECT_EQ(model_.GetSelectedMacro(), -1);
}

TEST_F(MacroLibraryTest, LoadedRowsShowEventsAsTheEditorDoes) {
    const std::string g = MakeTimeStampName();
    WriteLibrary({{"m", g}});
    WriteFileText(MacFile(g), R"({"Events":[
        {"Action":"down","Button":4,"Type":10,"Delay":"120"},
        {"Action":"up","Button":4,"Type":10,"Delay":"70000"},
        7,
        {"Action":"up","Button":1,"Type":1,"Delay":12},
        {"Action":"up","Button":1,"Type":1,"Delay":"x"},
        {"Action":"up","Button":1,"Type":1,"Name":"ü"}]})");
    ASSERT_TRUE(model_.SelectMacro(0));
    const std::vector<MacroEventRow> rows = model_.LoadMacroEvents();
    ASSERT_EQ(rows.size(), 5u);
    const char* delays[] = {"120", "65535", "12", "0", "0"};
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].delayText, delays[i]) << i;
    EXPECT_EQ(Parse(rows[1].jsonText), Parse(R"({"Action":"up","Button":4,"Type":10,"Delay":"70000"})"));
    EXPECT_EQ(rows[0].jsonText.find('\n'), std::string::npos) << "compact text";
    EXPECT_NE(rows[4].jsonText.find("ü"), std::string::npos) << rows[4].jsonText;

    ASSERT_TRUE(model_.SelectMacro(-1));
    EXPECT_TRUE(model_.LoadMacroEvents().empty());
}

TEST_F(MacroLibraryTest, SavedRowsLoadBackUnchanged) {
    ASSERT_FALSE(model_.NewMacro().empty());
    std::vector<MacroEventRow> rows = {
        {R"({"Action":"down","Button":2,"Type":1,"Delay":"0"})", "15"},
        {R"({"Action":"up","Button":2,"Type":1,"Delay":"0"})", "0"},
        {R"({"Action":"down","Button":30,"Type":4,"Delay":"0"})", "65535"},
    };
    ASSERT_TRUE(model_.SaveSelectedMacro(rows));
    EXPECT_EQ(model_.LoadMacroEvents(), rows);
}

TEST_F(MacroLibraryTest, ImportThenExportGivesTheSameContent) {
    const fs::path source = dir_.path() / "shared.mac";
    const std::string text =
        "{\n   \"Events\" : [ { \"Action\" : \"down\", \"Button\" : 4, \"Type\" : 10, \"Delay\" : \"50\" } "
        "],\n"
        "   \"Guid\" : \"someone else's\",\n   \"MacroName\" : \"Theirs\",\n   \"Version\" : 64\n}\n";
    WriteFileText(source, text);
    WriteLibrary({{"macro_1", MakeTimeStampName()}});

    const std::string name = model_.ImportMacro(source);
    ASSERT_EQ(name, "macro_2");
    EXPECT_EQ(model_.GetSelectedMacro(), 1);
    const MacroEntry entry = Library().at(1);
    EXPECT_EQ(entry.name, "macro_2");
    EXPECT_EQ(ReadFileText(MacFile(entry.guid)), text) << "the copy keeps its own name and Guid";
    ASSERT_EQ(model_.LoadMacroEvents().size(), 1u);

    const fs::path exported = dir_.path() / "exported.mac";
    ASSERT_TRUE(model_.ExportMacro(exported));
    EXPECT_EQ(store_.ReadJsonFile(exported), store_.ReadJsonFile(source));
    EXPECT_EQ(ReadFileText(exported), text);
}

TEST_F(MacroLibraryTest, ImportRefusesFilesThatAreNoJsonObject) {
    model_.LoadMacroList();
    const fs::path missing = dir_.path() / "missing.mac";
    const fs::path garbage = dir_.path() / "garbage.mac";
    const fs::path array = dir_.path() / "array.mac";
    WriteFileText(garbage, "{\"Events\": [");
    WriteFileText(array, "[1,2,3]");
    for (const fs::path& file : {fs::path(), missing, garbage, array, fs::path(dir_.path())}) {
        EXPECT_EQ(model_.ImportMacro(file), "") << file;
        EXPECT_TRUE(Listing(folder_).empty()) << file;
        EXPECT_TRUE(model_.Rows().empty());
    }
}

TEST_F(MacroLibraryTest, ExportNeedsASelectedMacroWithAFile) {
    ASSERT_FALSE(model_.NewMacro().empty());
    const fs::path out = dir_.path() / "out.mac";
    EXPECT_FALSE(model_.ExportMacro(out)) << "never saved";
    EXPECT_FALSE(fs::exists(out));
    std::vector<MacroEventRow> rows = {{R"({"Type":1})", "1"}};
    ASSERT_TRUE(model_.SaveSelectedMacro(rows));
    EXPECT_FALSE(model_.ExportMacro(fs::path()));
    ASSERT_TRUE(model_.SelectMacro(-1));
    EXPECT_FALSE(model_.ExportMacro(out));
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(MacroLibraryTest, BrokenGuidsNeverReachFiles) {
    // Folder is <tmp>/data, so "../x" would be <tmp>/x.mac.
    fs::create_directories(folder_ / "a");
    const std::vector<fs::path> bait = {dir_.path() / "x.mac", folder_ / "a" / "b.mac", folder_ / ".mac"};
    const std::string baitText = R"({"Events":[{"Action":"down","Button":9,"Type":10,"Delay":"9"}]})";
    for (const fs::path& file : bait) WriteFileText(file, baitText);
    const std::string good = MakeTimeStampName();
    WriteLibrary({{"up", "../x"}, {"sub", "a/b"}, {"none", ""}, {"good", good}});
    WriteMac(good, 1);
    ASSERT_EQ(model_.Rows().size(), 4u) << "broken entries keep their rows";
    EXPECT_EQ(model_.Rows()[0].name, "up");

    const fs::path out = dir_.path() / "exported.mac";
    for (int row = 0; row < 3; ++row) {
        ASSERT_TRUE(model_.SelectMacro(row));
        EXPECT_TRUE(model_.LoadMacroEvents().empty()) << row;
        std::vector<MacroEventRow> rows = {{R"({"Type":1})", "1"}};
        EXPECT_FALSE(model_.SaveSelectedMacro(rows)) << row;
        EXPECT_FALSE(model_.SaveMacro(out, rows)) << row;
        EXPECT_FALSE(model_.ExportMacro(out)) << row;
        EXPECT_FALSE(fs::exists(out));
        int index = 0;
        EXPECT_EQ(model_.RenameMacro("renamed " + std::to_string(row), index),
                  "renamed " + std::to_string(row));
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(model_.SelectMacro(0));
        EXPECT_EQ(model_.DeleteMacro(), 0);
    }
    for (const fs::path& file : bait) EXPECT_EQ(ReadFileText(file), baitText) << file;
    EXPECT_EQ(Library(), (std::vector<MacroEntry>{{"good", good}}));
    EXPECT_TRUE(fs::exists(MacFile(good)));
}

TEST_F(MacroLibraryTest, FailedLibraryWritesChangeNothing) {
    const std::string g0 = MakeTimeStampName(), g1 = MakeTimeStampName();
    WriteLibrary({{"a", g0}, {"b", g1}});
    WriteMac(g0, 1);
    WriteMac(g1, 1);
    ASSERT_TRUE(model_.SelectMacro(1));
    const std::vector<MacroEntry> rows = model_.Rows();
    BreakLibraryWrites();
    const auto files = Listing(folder_);
    const fs::path import = dir_.path() / "in.mac";
    WriteFileText(import, R"({"Events":[]})");

    EXPECT_EQ(model_.NewMacro(), "");
    int index = 5;
    EXPECT_EQ(model_.RenameMacro("c", index), "");
    EXPECT_EQ(index, -1) << "not reported as a taken name";
    EXPECT_EQ(model_.DeleteMacro(), -1);
    EXPECT_EQ(model_.ImportMacro(import), "");

    EXPECT_EQ(model_.Rows(), rows);
    EXPECT_EQ(model_.GetSelectedMacro(), 1);
    EXPECT_EQ(Listing(folder_), files) << "no event file lost or left over";
}

TEST_F(MacroLibraryTest, UnreadableLibrariesShowNoRows) {
    const char* texts[] = {"", "{ \"MacroInfo\": [", "[{\"MacroName\":\"a\",\"Guid\":\"g\"}]", "42",
                           "{\"MacroInfo\": {\"MacroName\":\"a\"}}"};
    for (const char* text : texts) {
        WriteFileText(LibraryFile(), text);
        model_.LoadMacroList();
        EXPECT_TRUE(model_.Rows().empty()) << text;
        EXPECT_TRUE(LibraryMacroNames(folder_, kMacroLibraryFileName).empty()) << text;
        // Adding starts a new library in place of the broken one.
        EXPECT_EQ(model_.NewMacro(), "macro_1") << text;
        EXPECT_EQ(Library().size(), 1u) << text;
    }
}

TEST_F(MacroLibraryTest, OddElementsKeepTheirPlaces) {
    const std::string g = MakeTimeStampName();
    WriteFileText(LibraryFile(), "{\"MacroInfo\": [5, {\"MacroName\": 3, \"Guid\": \"" + g +
                                     "\"}, null, {\"MacroName\": \"last\"}], \"Other\": 1}");
    model_.LoadMacroList();
    EXPECT_EQ(model_.Rows(), (std::vector<MacroEntry>{{"", ""}, {"", g}, {"", ""}, {"last", ""}}));
    // Rewrites keep what the program does not know.
    ASSERT_TRUE(model_.SelectMacro(3));
    int index = 0;
    EXPECT_EQ(model_.RenameMacro("renamed", index), "renamed");
    EXPECT_EQ(store_.ReadJsonFile(LibraryFile())["Other"], 1);
    EXPECT_EQ(Library().at(3).name, "renamed");
}

TEST_F(MacroLibraryTest, TheOtherLibraryFileIsUsedWhenChosen) {
    MacroLibraryModel other(folder_, kNurakMacroLibraryFileName);
    EXPECT_EQ(other.NewMacro(), "macro_1");
    EXPECT_TRUE(fs::exists(folder_ / kNurakMacroLibraryFileName));
    EXPECT_FALSE(fs::exists(LibraryFile()));
    EXPECT_EQ(LibraryMacroNames(folder_, kNurakMacroLibraryFileName), (std::vector<std::string>{"macro_1"}));
}

TEST(MacroLibraryNoFolderTest, WithoutAFolderNothingIsWritten) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    MacroLibraryModel model;
    model.LoadMacroList();
    EXPECT_EQ(model.NewMacro(), "");
    const fs::path import = dir.path() / "in.mac";
    WriteFileText(import, "{}");
    EXPECT_EQ(model.ImportMacro(import), "");
    EXPECT_FALSE(ReadMacroLibrary(fs::path(), kMacroLibraryFileName).has_value());
    fs::current_path(before);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"in.mac"}));
}

// Every file of the outside JSON corpus, as a library and as an event file,
// read, imported and rewritten without a crash.
TEST_F(MacroLibraryTest, OutsideJsonCorpusNeverBreaksTheModel) {
    const fs::path corpus = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    ASSERT_TRUE(fs::is_directory(corpus));
    const std::string guid = MakeTimeStampName();
    const fs::path imported = dir_.path() / "import.mac";
    for (const auto& item : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(item.path().filename().string());
        const std::string text = ReadFileText(item.path());
        for (const std::string& library : {text, "{\"MacroInfo\": " + text + "}"}) {
            WriteFileText(LibraryFile(), library);
            model_.LoadMacroList();
            (void)LibraryMacroNames(folder_, kMacroLibraryFileName);
            if (!model_.Rows().empty()) {
                ASSERT_TRUE(model_.SelectMacro(0));
                (void)model_.LoadMacroEvents();
                int index = 0;
                (void)model_.RenameMacro("x", index);
            }
        }
        for (const std::string& mac : {text, "{\"Events\": " + text + "}", "{\"Events\": [" + text + "]}"}) {
            WriteLibrary({{"m", guid}});
            WriteFileText(MacFile(guid), mac);
            ASSERT_TRUE(model_.SelectMacro(0));
            std::vector<MacroEventRow> rows = model_.LoadMacroEvents();
            const std::size_t loaded = rows.size();
            rows.push_back({text, text});
            ASSERT_TRUE(model_.SaveSelectedMacro(rows));
            // Loaded rows are events; the raw text is one when it is an object.
            EXPECT_EQ(model_.LoadMacroEvents().size(), loaded + (ParseJsonText(text).isObject() ? 1 : 0));
            WriteFileText(imported, mac);
            const std::string name = model_.ImportMacro(imported);
            EXPECT_EQ(name.empty(), !ParseJsonText(mac).isObject());
        }
    }
}

}  // namespace
