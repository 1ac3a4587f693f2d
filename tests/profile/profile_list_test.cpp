#include "profile/profile_list.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "profile/json_file_store.h"
#include "profile/profile_tabs.h"
#include "profile/time_stamp_name.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace nurak::profile {
using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

namespace fs = std::filesystem;
using R = ProfileListResult;

constexpr const char* kDefaultProfile = R"({
    "Extra" : "root member",
    "Device" : [ { "DPIStages" : { "StageActive" : 2 },
                   "CustomEQNameInfo" : [ "Default EQ" ],
                   "CustomEQHzValueInfo" : [ 1, 2, 3 ] } ]
})";

std::string Id(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "2020_01_01_00_00_%02d_%03d", n / 1000, n % 1000);
    return text;
}

Json::Value ReadJson(const fs::path& file) {
    return ParseJsonText(ReadFileText(file));
}

struct Entry {
    std::string name;
    std::string identity;
};

class ProfileListTest : public ::testing::Test {
  protected:
    ProfileListTest() {
        fs::create_directories(folder_);
        WriteFileText(defaults_, kDefaultProfile);
    }

    ProfileListModel Model(int kind = 2) {
        ProfileListModel model;
        model.SetDeviceKind(kind);
        model.SetProfilePaths(folder_, defaults_);
        return model;
    }

    fs::path ListFile() const { return folder_ / "ProfileList.ini"; }
    fs::path ProfileFile(const std::string& identity) const { return folder_ / (identity + ".Json"); }

    // A list of profiles, each with a file that carries a mark of its own.
    std::vector<Entry> Seed(const std::vector<std::string>& names, int select = 0) {
        std::vector<Entry> entries;
        Json::Value list(Json::objectValue);
        list["profilelist"] = Json::Value(Json::arrayValue);
        for (std::size_t i = 0; i < names.size(); ++i) {
            entries.push_back({names[i], Id(static_cast<int>(i) + 1)});
            Json::Value item;
            item["profilename"] = names[i];
            item["profileUUID"] = entries.back().identity;
            list["profilelist"].append(item);
            Json::Value file;
            file["profilename"] = names[i];
            file["profileUUID"] = entries.back().identity;
            file["Device"][0]["Mark"] = names[i];
            WriteFileText(ProfileFile(entries.back().identity), FormatJsonText(file));
        }
        list["profileselect"] = select;
        WriteFileText(ListFile(), FormatJsonText(list));
        return entries;
    }

    // The default profile as a new profile's file holds it.
    static Json::Value DefaultWith(const std::string& name, const std::string& identity) {
        Json::Value value = ParseJsonText(kDefaultProfile);
        value["profilename"] = name;
        value["profileUUID"] = identity;
        return value;
    }

    std::vector<std::string> ListedNames() const {
        std::vector<std::string> names;
        const Json::Value list = ReadJson(ListFile());
        for (const auto& item : list["profilelist"]) names.push_back(item["profilename"].asString());
        return names;
    }
    int ListedSelect() const { return ReadJson(ListFile())["profileselect"].asInt(); }

    // Every file outside the device folder's own files, with its content.
    std::map<std::string, std::string> Outside() const {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(dir_.path())) {
            if (!item.is_regular_file()) continue;
            if (item.path().parent_path() == folder_) continue;
            files[item.path().string()] = ReadFileText(item.path());
        }
        return files;
    }

    testing::TempDir dir_;
    fs::path folder_ = dir_.path() / "data" / "mouse";
    fs::path defaults_ = dir_.path() / "defaults" / "mouse.Json";
};

TEST_F(ProfileListTest, FreshDeviceHasProfile1MadeFromTheDefault) {
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    ASSERT_EQ(model.Names(), std::vector<std::string>{"profile1"});
    EXPECT_EQ(model.GetSelectedIndex(), 0);
    EXPECT_EQ(model.GetNameFieldText(), "profile1");
    const std::string identity = model.GetCurrentProfileId();
    EXPECT_TRUE(IsTimeStampName(identity));
    EXPECT_EQ(model.CurrentProfilePath(), ProfileFile(identity));
    EXPECT_EQ(ReadJson(ProfileFile(identity)), DefaultWith("profile1", identity));

    const Json::Value list = ReadJson(ListFile());
    Json::Value expected;
    expected["profilelist"][0]["profilename"] = "profile1";
    expected["profilelist"][0]["profileUUID"] = identity;
    expected["profilelist"][0]["profileislink"] = 0;
    expected["profilelist"][0]["profilelinkmame"] = "";
    expected["profileselect"] = 0;
    EXPECT_EQ(list, expected);

    // A second start finds the same profile rather than a new one.
    auto again = Model();
    ASSERT_EQ(again.InitProfileList(), R::Done);
    EXPECT_EQ(again.Identities(), std::vector<std::string>{identity});
}

TEST_F(ProfileListTest, MissingDefaultProfileGivesFilesWithOnlyNameAndIdentity) {
    fs::remove(defaults_);
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    ASSERT_EQ(model.AddProfile(), R::Done);
    for (const auto& identity : model.Identities()) {
        const Json::Value file = ReadJson(ProfileFile(identity));
        EXPECT_EQ(file.getMemberNames(), (std::vector<std::string>{"profileUUID", "profilename"}));
        EXPECT_EQ(file["profileUUID"].asString(), identity);
    }
}

TEST_F(ProfileListTest, UnusableListFileIsRebuilt) {
    const char* const contents[] = {"",
                                    "garbage{",
                                    "[]",
                                    "{}",
                                    "null",
                                    "{\"profilelist\":[]}",
                                    "{\"profilelist\":5}",
                                    "{\"profilelist\":{\"a\":1}}"};
    for (const char* text : contents) {
        SCOPED_TRACE(text);
        const Entry old = Seed({"Old"})[0];
        WriteFileText(ListFile(), text);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.Names(), std::vector<std::string>{"profile1"});
        EXPECT_EQ(model.GetSelectedIndex(), 0);
        EXPECT_EQ(ListedNames(), std::vector<std::string>{"profile1"});
        EXPECT_EQ(ReadJson(model.CurrentProfilePath()), DefaultWith("profile1", model.GetCurrentProfileId()));
        // An old profile file stays in the folder, unlisted.
        EXPECT_TRUE(fs::exists(ProfileFile(old.identity)));
    }
}

TEST_F(ProfileListTest, StoredSelectionIsUsedOnlyWhenItIsAnIndexOfTheList) {
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"2", 2}, {"0", 0}, {"3", 0}, {"-1", 0}, {"\"1\"", 0}, {"true", 0}, {"1.5", 0}, {"null", 0},
    };
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored);
        const auto entries = Seed({"A", "B", "C"});
        std::string text = ReadFileText(ListFile());
        text.replace(text.find("\"profileselect\" : 0"), 19, std::string("\"profileselect\" : ") + stored);
        WriteFileText(ListFile(), text);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        EXPECT_EQ(model.GetSelectedIndex(), expected);
        EXPECT_EQ(model.GetCurrentProfileId(), entries[static_cast<std::size_t>(expected)].identity);
        EXPECT_EQ(ListedSelect(), expected);
    }
}

TEST_F(ProfileListTest, SelectProfileStoresTheIndexAndRefusesOnesOutsideTheList) {
    const auto entries = Seed({"A", "B", "C"});
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    ASSERT_EQ(model.SelectProfile(2), R::Done);
    EXPECT_EQ(model.GetSelectedIndex(), 2);
    EXPECT_EQ(model.GetNameFieldText(), "C");
    EXPECT_EQ(model.GetCurrentProfileId(), entries[2].identity);
    EXPECT_EQ(ListedSelect(), 2);

    const std::string before = ReadFileText(ListFile());
    for (int bad : {-1, 3, 1000}) {
        EXPECT_EQ(model.SelectProfile(bad), R::BadIndex) << bad;
        EXPECT_EQ(model.GetSelectedIndex(), 2);
        EXPECT_EQ(model.GetCurrentProfileId(), entries[2].identity);
        EXPECT_EQ(ReadFileText(ListFile()), before);
    }
}

TEST_F(ProfileListTest, AddTakesTheFirstFreeProfileNumber) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"profile1", "profile3"}, "profile2"},
        {{"PROFILE1"}, "profile2"},
        {{"profile10", "xprofile1", "profile1 "}, "profile1"},
        {{"Profile1", "profile2", "pRoFiLe3"}, "profile4"},
    };
    for (const auto& [names, expected] : cases) {
        SCOPED_TRACE(expected);
        const auto entries = Seed(names);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.AddProfile(), R::Done);
        ASSERT_EQ(model.Names().size(), names.size() + 1);
        EXPECT_EQ(model.Names().back(), expected);
        EXPECT_EQ(ListedNames(), model.Names());
        const std::string identity = model.Identities().back();
        EXPECT_EQ(ReadJson(ProfileFile(identity)), DefaultWith(expected, identity));
        // The file names the new profile, the selection stays where it was.
        EXPECT_EQ(ListedSelect(), static_cast<int>(names.size()));
        EXPECT_EQ(model.GetSelectedIndex(), 0);
        EXPECT_EQ(model.GetCurrentProfileId(), entries[0].identity);
    }
}

TEST_F(ProfileListTest, AddStopsAtFiftyWhileCopiesGoOn) {
    std::vector<std::string> names;
    for (int i = 0; i < 49; ++i) names.push_back("P" + std::to_string(i));
    Seed(names);
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    ASSERT_EQ(model.AddProfile(), R::Done);
    ASSERT_EQ(model.Names().size(), 50u);
    const std::string before = ReadFileText(ListFile());
    EXPECT_EQ(model.AddProfile(), R::TooManyProfiles);
    EXPECT_EQ(ReadFileText(ListFile()), before);
    EXPECT_EQ(model.CopyProfile(), R::Done);
    EXPECT_EQ(model.Names().size(), 51u);
}

TEST_F(ProfileListTest, NewIdentitiesAvoidFilesAlreadyInTheFolder) {
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    // Files a clock set back (or another process) might name again.
    std::set<std::string> taken;
    for (int i = 0; i < 5; ++i) {
        const std::string next = MakeTimeStampName();
        WriteFileText(ProfileFile(next), "{\"foreign\":1}");
        taken.insert(next);
    }
    ASSERT_EQ(model.AddProfile(), R::Done);
    const std::string identity = model.Identities().back();
    EXPECT_EQ(taken.count(identity), 0u);
    for (const auto& t : taken) EXPECT_EQ(ReadFileText(ProfileFile(t)), "{\"foreign\":1}");
}

TEST_F(ProfileListTest, CopyAppendsCopyUntilTheNameIsFree) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"A"}, "A copy"},
        {{"A", "A copy"}, "A copy copy"},
        {{"A", "a COPY", "A copy copy"}, "A copy copy copy"},
    };
    for (const auto& [names, expected] : cases) {
        SCOPED_TRACE(expected);
        const auto entries = Seed(names, 0);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.CopyProfile(), R::Done);
        EXPECT_EQ(model.Names().back(), expected);
        EXPECT_EQ(ListedNames(), model.Names());
        EXPECT_EQ(ListedSelect(), 0);
        EXPECT_EQ(model.GetSelectedIndex(), 0);
        // The copy holds the source's settings under its own name and identity.
        const std::string identity = model.Identities().back();
        Json::Value expectedFile = ReadJson(ProfileFile(entries[0].identity));
        expectedFile["profilename"] = expected;
        expectedFile["profileUUID"] = identity;
        EXPECT_EQ(ReadJson(ProfileFile(identity)), expectedFile);
    }
}

TEST_F(ProfileListTest, ImportAccumulatesNumberSuffixesAndKeepsTheSettings) {
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"Other"}, "A", "A"},
        {{"A"}, "A", "A(1)"},
        {{"A", "A(1)"}, "A", "A(1)(2)"},
        {{"WORK", "work(1)", "Work(1)(2)"}, "Work", "Work(1)(2)(3)"},
    };
    const fs::path source = dir_.path() / "elsewhere" / "import.json";
    for (const auto& [names, imported, expected] : cases) {
        SCOPED_TRACE(expected);
        Seed(names, 0);
        Json::Value file;
        file["profilename"] = imported;
        file["profileUUID"] = "whatever the other machine used";
        file["Device"][0]["DPIStages"]["StageActive"] = 4;
        file["Unknown"] = "passes through";
        WriteFileText(source, FormatJsonText(file));

        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.ImportProfile(source), R::Done);
        EXPECT_EQ(model.Names().back(), expected);
        EXPECT_EQ(ListedNames(), model.Names());
        EXPECT_EQ(model.GetSelectedIndex(), 0);
        EXPECT_EQ(ListedSelect(), 0);
        const std::string identity = model.Identities().back();
        file["profilename"] = expected;
        file["profileUUID"] = identity;
        EXPECT_EQ(ReadJson(ProfileFile(identity)), file);
    }
}

TEST_F(ProfileListTest, ImportRefusesFilesThatAreNoProfile) {
    const fs::path source = dir_.path() / "import.json";
    const std::optional<std::string> cases[] = {
        std::nullopt,  // no file
        "",
        "not json",
        "[{\"profilename\":\"B\",\"profileUUID\":\"x\"}]",
        "{\"profileUUID\":\"x\"}",
        "{\"profilename\":\"\",\"profileUUID\":\"x\"}",
        "{\"profilename\":5,\"profileUUID\":\"x\"}",
        "{\"profilename\":\"B\"}",
        "{\"profilename\":\"B\",\"profileUUID\":null}",
    };
    Seed({"A"});
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    const std::string before = ReadFileText(ListFile());
    const std::size_t filesBefore = std::distance(fs::directory_iterator(folder_), {});
    for (const auto& text : cases) {
        SCOPED_TRACE(text.value_or("(missing)"));
        fs::remove(source);
        if (text) WriteFileText(source, *text);
        EXPECT_EQ(model.ImportProfile(source), R::BadImportFile);
        EXPECT_EQ(ReadFileText(ListFile()), before);
        EXPECT_EQ(model.Names(), std::vector<std::string>{"A"});
        EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {})), filesBefore);
    }
}

TEST_F(ProfileListTest, RenameFollowsTheCaseRules) {
    struct Case {
        int select;
        std::string name;
        R result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {0, "ALPHA", R::Done, {"ALPHA", "Beta"}},     {0, "Gamma", R::Done, {"Gamma", "Beta"}},
        {0, "beta", R::NameTaken, {"Alpha", "Beta"}}, {1, "alpha", R::NameTaken, {"Alpha", "Beta"}},
        {1, "Beta ", R::Done, {"Alpha", "Beta "}},    {0, "", R::EmptyName, {"Alpha", "Beta"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entries = Seed({"Alpha", "Beta"}, c.select);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        const std::string listBefore = ReadFileText(ListFile());
        const std::string fileBefore = ReadFileText(model.CurrentProfilePath());
        EXPECT_EQ(model.RenameProfile(c.name), c.result);
        EXPECT_EQ(model.Names(), c.names);
        EXPECT_EQ(ListedNames(), c.names);
        const Json::Value file = ReadJson(model.CurrentProfilePath());
        if (c.result == R::Done) {
            EXPECT_EQ(model.GetNameFieldText(), c.name);
            EXPECT_EQ(file["profilename"].asString(), c.name);
            EXPECT_EQ(file["profileUUID"].asString(), entries[static_cast<std::size_t>(c.select)].identity);
            EXPECT_EQ(file["Device"][0]["Mark"].asString(), entries[static_cast<std::size_t>(c.select)].name);
        } else {
            EXPECT_EQ(ReadFileText(ListFile()), listBefore);
            EXPECT_EQ(ReadFileText(model.CurrentProfilePath()), fileBefore);
        }
    }
}

TEST_F(ProfileListTest, DeleteRemovesTheFileAndSelectsTheProfileBefore) {
    struct Case {
        int select;
        int stored;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {0, 0, {"B", "C"}},
        {1, 0, {"A", "C"}},
        {2, 1, {"A", "B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.select);
        const auto entries = Seed({"A", "B", "C"}, c.select);
        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.DeleteProfile(), R::Done);
        EXPECT_EQ(model.Names(), c.left);
        EXPECT_EQ(ListedNames(), c.left);
        EXPECT_EQ(ListedSelect(), c.stored);
        EXPECT_EQ(model.GetSelectedIndex(), c.stored);
        EXPECT_EQ(model.GetNameFieldText(), c.left[static_cast<std::size_t>(c.stored)]);
        EXPECT_EQ(model.GetCurrentProfileId(), model.Identities()[static_cast<std::size_t>(c.stored)]);
        const auto gone = static_cast<std::size_t>(c.select);
        for (std::size_t i = 0; i < entries.size(); ++i)
            EXPECT_EQ(fs::exists(ProfileFile(entries[i].identity)), i != gone) << i;
    }
}

TEST_F(ProfileListTest, LastProfileIsNeverDeleted) {
    const auto entries = Seed({"Only"});
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    const std::string before = ReadFileText(ListFile());
    EXPECT_EQ(model.DeleteProfile(), R::LastProfile);
    EXPECT_EQ(ReadFileText(ListFile()), before);
    EXPECT_TRUE(fs::exists(ProfileFile(entries[0].identity)));
}

TEST_F(ProfileListTest, ResetKeepsTheHeadsetsOwnEqualisersOnly) {
    Json::Value own;
    own["Device"][0]["CustomEQNameInfo"][0] = "Mine";
    own["Device"][0]["CustomEQHzValueInfo"][0] = 9;
    own["Device"][0]["DPIStages"]["StageActive"] = 0;
    own["Device"][0]["UserOnly"] = 1;
    own["Extra"] = "changed";

    struct Case {
        int kind;
        bool hasEqualisers;
        bool kept;
    };
    for (const Case c :
         {Case{7, true, true}, Case{7, false, false}, Case{2, true, false}, Case{1, true, false}}) {
        SCOPED_TRACE(c.kind);
        const auto entries = Seed({"A", "B"}, 1);
        Json::Value file = own;
        if (!c.hasEqualisers) {
            file["Device"][0].removeMember("CustomEQNameInfo");
            file["Device"][0].removeMember("CustomEQHzValueInfo");
        }
        WriteFileText(ProfileFile(entries[1].identity), FormatJsonText(file));
        auto model = Model(c.kind);
        ASSERT_EQ(model.InitProfileList(), R::Done);
        ASSERT_EQ(model.ResetProfile(), R::Done);
        Json::Value expected = DefaultWith("B", entries[1].identity);
        if (c.kept) {
            expected["Device"][0]["CustomEQNameInfo"] = own["Device"][0]["CustomEQNameInfo"];
            expected["Device"][0]["CustomEQHzValueInfo"] = own["Device"][0]["CustomEQHzValueInfo"];
        }
        EXPECT_EQ(ReadJson(ProfileFile(entries[1].identity)), expected);
        EXPECT_EQ(ListedNames(), (std::vector<std::string>{"A", "B"}));
    }
}

TEST_F(ProfileListTest, ExportWritesTheSelectedProfile) {
    const auto entries = Seed({"A", "B"}, 1);
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    const fs::path target = dir_.path() / "out" / "b.json";
    fs::create_directories(target.parent_path());
    ASSERT_EQ(model.ExportProfile(target), R::Done);
    EXPECT_EQ(ReadJson(target), ReadJson(ProfileFile(entries[1].identity)));

    // A folder in the way, or a profile whose file went missing.
    EXPECT_EQ(model.ExportProfile(dir_.path() / "out"), R::WriteFailed);
    fs::remove(ProfileFile(entries[1].identity));
    EXPECT_EQ(model.ExportProfile(dir_.path() / "out" / "c.json"), R::MissingProfileFile);
    EXPECT_FALSE(fs::exists(dir_.path() / "out" / "c.json"));
}

TEST_F(ProfileListTest, OperationsNeedASelection) {
    const fs::path source = dir_.path() / "import.json";
    WriteFileText(source, "{\"profilename\":\"I\",\"profileUUID\":\"x\"}");
    const std::pair<const char*, R (*)(ProfileListModel&, const fs::path&)> operations[] = {
        {"delete", [](ProfileListModel& m, const fs::path&) { return m.DeleteProfile(); }},
        {"copy", [](ProfileListModel& m, const fs::path&) { return m.CopyProfile(); }},
        {"reset", [](ProfileListModel& m, const fs::path&) { return m.ResetProfile(); }},
        {"rename", [](ProfileListModel& m, const fs::path&) { return m.RenameProfile("New"); }},
        {"import", [](ProfileListModel& m, const fs::path& f) { return m.ImportProfile(f); }},
        {"export",
         [](ProfileListModel& m, const fs::path& f) { return m.ExportProfile(f.parent_path() / "e.json"); }},
    };
    for (const auto& [what, operation] : operations) {
        SCOPED_TRACE(what);
        Seed({"A", "B"});
        const std::string before = ReadFileText(ListFile());
        // Never initialised: the list is read but nothing is selected.
        auto model = Model();
        EXPECT_EQ(operation(model, source), R::NoSelection);
        EXPECT_EQ(model.GetSelectedIndex(), -1);
        EXPECT_EQ(ReadFileText(ListFile()), before);
        EXPECT_FALSE(fs::exists(dir_.path() / "e.json"));

        // The selected profile vanished from the file behind our back.
        auto initialised = Model();
        ASSERT_EQ(initialised.InitProfileList(), R::Done);
        WriteFileText(ListFile(), R"({"profileselect":0,"profilelist":[{"profilename":"X","profileUUID":")" +
                                      Id(7) + R"("},{"profilename":"B","profileUUID":")" + Id(2) + R"("}]})");
        const std::string changed = ReadFileText(ListFile());
        EXPECT_EQ(operation(initialised, source), R::NoSelection);
        EXPECT_EQ(initialised.GetSelectedIndex(), -1);
        EXPECT_TRUE(initialised.GetCurrentProfileId().empty());
        EXPECT_EQ(ReadFileText(ListFile()), changed);
        EXPECT_FALSE(fs::exists(dir_.path() / "e.json"));
    }
}

TEST_F(ProfileListTest, SelectionFollowsItsProfileWhenTheFileChanges) {
    const auto entries = Seed({"A", "B"}, 1);
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    // Another writer put a profile in front.
    Json::Value list = ReadJson(ListFile());
    Json::Value front;
    front["profilename"] = "New";
    front["profileUUID"] = Id(9);
    list["profilelist"].insert(0, front);
    WriteFileText(ListFile(), FormatJsonText(list));
    ASSERT_EQ(model.RenameProfile("B2"), R::Done);
    EXPECT_EQ(model.Names(), (std::vector<std::string>{"New", "A", "B2"}));
    EXPECT_EQ(model.GetSelectedIndex(), 2);
    EXPECT_EQ(ReadJson(ProfileFile(entries[1].identity))["profilename"].asString(), "B2");
}

TEST_F(ProfileListTest, BrokenEntriesAreDroppedAndNeverLeadOutsideTheFolder) {
    // Files a broken identity would name.
    WriteFileText(dir_.path() / "x.Json", "outside");
    WriteFileText(folder_ / "a" / "b.Json", "in a subfolder");
    WriteFileText(folder_.parent_path() / "sibling.Json", "beside");

    const char* const broken[] = {
        R"({"profilename":"Evil","profileUUID":"../../x"})",
        R"({"profilename":"Evil","profileUUID":"a/b"})",
        R"({"profilename":"Evil","profileUUID":""})",
        R"({"profilename":"Evil","profileUUID":20200101})",
        R"({"profilename":"Evil"})",
        R"({"profilename":"Evil","profileUUID":"../sibling"})",
        R"({"profilename":5,"profileUUID":"2020_01_01_00_00_00_005"})",
        R"({"profileUUID":"2020_01_01_00_00_00_005"})",
        R"({"profilename":"Twin","profileUUID":"2020_01_01_00_00_00_001"})",
        R"(7)",
        R"("text")",
        R"(null)",
    };
    for (const char* entry : broken) {
        SCOPED_TRACE(entry);
        Seed({"Keep"});
        // The broken entry holds the stored selection.
        WriteFileText(ListFile(),
                      R"({"profileselect":1,"profilelist":[{"profilename":"Keep","profileUUID":")" + Id(1) +
                          R"("},)" + entry + "]}");
        const auto outside = Outside();

        auto model = Model();
        ASSERT_EQ(model.InitProfileList(), R::Done);
        EXPECT_EQ(model.Names(), std::vector<std::string>{"Keep"});
        EXPECT_EQ(model.GetCurrentProfileId(), Id(1));
        EXPECT_EQ(ListedNames(), std::vector<std::string>{"Keep"});
        EXPECT_EQ(ListedSelect(), 0);

        // Every operation once more; none reaches a file outside.
        ASSERT_EQ(model.AddProfile(), R::Done);
        ASSERT_EQ(model.CopyProfile(), R::Done);
        ASSERT_EQ(model.RenameProfile("Kept"), R::Done);
        ASSERT_EQ(model.ResetProfile(), R::Done);
        ASSERT_EQ(model.SelectProfile(1), R::Done);
        ASSERT_EQ(model.DeleteProfile(), R::Done);
        EXPECT_EQ(Outside(), outside);
        fs::remove(ListFile());
    }
}

TEST_F(ProfileListTest, StoredSelectionSkipsDroppedEntries) {
    const auto entries = Seed({"A", "B"});
    WriteFileText(ListFile(), R"({"profileselect":2,"profilelist":[{"profilename":"E","profileUUID":"../x"},)"
                              R"({"profilename":"A","profileUUID":")" +
                                  Id(1) +
                                  R"("},)"
                                  R"({"profilename":"B","profileUUID":")" +
                                  Id(2) + R"("}]})");
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    EXPECT_EQ(model.GetSelectedIndex(), 1);
    EXPECT_EQ(model.GetCurrentProfileId(), entries[1].identity);
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ListedSelect(), 1);
}

TEST_F(ProfileListTest, ListWithOnlyBrokenEntriesIsRebuilt) {
    WriteFileText(dir_.path() / "x.Json", "outside");
    WriteFileText(ListFile(),
                  R"({"profileselect":1,"profilelist":[{"profilename":"E","profileUUID":"../../x"},3]})");
    const auto outside = Outside();
    auto model = Model();
    ASSERT_EQ(model.InitProfileList(), R::Done);
    EXPECT_EQ(model.Names(), std::vector<std::string>{"profile1"});
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"profile1"});
    EXPECT_EQ(Outside(), outside);
}

TEST_F(ProfileListTest, UnwritableFolderLeavesNoProfile) {
    // A folder that cannot be created: its place is taken by a file.
    WriteFileText(dir_.path() / "blocked", "a file");
    ProfileListModel model;
    model.SetProfilePaths(dir_.path() / "blocked" / "mouse", defaults_);
    EXPECT_EQ(model.InitProfileList(), R::WriteFailed);
    EXPECT_TRUE(model.Names().empty());
    EXPECT_EQ(model.GetSelectedIndex(), -1);
    EXPECT_TRUE(model.GetCurrentProfileId().empty());

    ProfileListModel unset;
    EXPECT_EQ(unset.InitProfileList(), R::NoDataFolder);
    EXPECT_EQ(unset.AddProfile(), R::NoDataFolder);
}

TEST(ProfileTabs, KindsHideAndShowTheirTabs) {
    using Names = std::set<std::string_view>;
    const Names pad = {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"};
    const std::tuple<int, Names, Names> cases[] = {
        {1, {"cursor_Op_tab"}, {}},
        {2, {}, {}},
        {3, pad, {}},
        {4, {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}, {}},
        {5, pad, {}},
        {6, {}, {}},
        {7, pad, {"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"}},
        {0, {}, {}},
        {8, {}, {}},
        {-1, {}, {}},
    };
    for (const auto& [kind, hidden, shown] : cases) {
        SCOPED_TRACE(kind);
        const KindTabs tabs = TabsForDeviceKind(kind);
        EXPECT_EQ(Names(tabs.hidden.begin(), tabs.hidden.end()), hidden);
        EXPECT_EQ(Names(tabs.shown.begin(), tabs.shown.end()), shown);
        EXPECT_EQ(tabs.hidden.size(), hidden.size());  // no tab twice
        for (std::string_view name : tabs.hidden)
            EXPECT_NE(std::find(kFeatureTabNames.begin(), kFeatureTabNames.end(), name),
                      kFeatureTabNames.end());
    }
    EXPECT_EQ(kFeatureTabNames[0], "deng_Op_tab");
    EXPECT_EQ(kFeatureTabNames[4], "cursor_Op_tab");
    EXPECT_EQ(kFeatureTabNames[7], "Virtual7.1_Op_tab");
}

}  // namespace
}  // namespace nurak::profile
