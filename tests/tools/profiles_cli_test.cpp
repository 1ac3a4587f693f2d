// nurakctl profiles run as its own process on a data home of the test's own.

#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "profile/json_file_store.h"
#include "support/file_text.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace nurak::profile {
using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

namespace fs = std::filesystem;

using nurak::testing::RunResult;

Json::Value ReadJson(const fs::path& file) {
    return ParseJsonText(ReadFileText(file));
}

RunResult RunCtl(const std::vector<std::string>& args) {
    return nurak::testing::RunProgram(NURAK_CTL_PROGRAM, args);
}

const char* kMouseDefault = R"({"Device":[{"DPIStages":{"StageActive":1}}],"Shipped":"mouse"})";
const char* kHeadsetDefault =
    R"({"Device":[{"CustomEQNameInfo":["Flat"],"CustomEQHzValueInfo":[0,0],"Volume":50}],"Shipped":"HD"})";

class ProfilesCliTest : public ::testing::Test {
  protected:
    ProfilesCliTest() {
        const char* old = ::getenv("XDG_DATA_HOME");
        if (old) oldDataHome_ = old;
        ::setenv("XDG_DATA_HOME", home_.c_str(), 1);
        WriteFileText(shipped_ / "DefaultData" / "mouse.Json", kMouseDefault);
        WriteFileText(shipped_ / "DefaultData" / "HD.Json", kHeadsetDefault);
    }
    ~ProfilesCliTest() override {
        if (oldDataHome_)
            ::setenv("XDG_DATA_HOME", oldDataHome_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

    // nurakctl profiles --data-dir <fixture> [--folder F] ARGS
    RunResult Profiles(std::vector<std::string> args, const std::string& folder = "") {
        std::vector<std::string> all = {"profiles", "--data-dir", shipped_.string()};
        if (!folder.empty()) all.insert(all.end(), {"--folder", folder});
        all.insert(all.end(), args.begin(), args.end());
        return RunCtl(all);
    }

    fs::path Folder(const std::string& name = "mouse") const {
        return home_ / "Brakk 400100 Gaming Mouse" / name;
    }

    // The names listed and the selected index, through list --json.
    std::pair<std::vector<std::string>, int> Listed(const std::string& folder = "") {
        const RunResult r = Profiles({"list", "--json"}, folder);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const Json::Value value = ParseJsonText(r.out);
        std::vector<std::string> names;
        for (const auto& p : value["profiles"]) names.push_back(p["name"].asString());
        return {names, value["selected"].asInt()};
    }

    std::string UuidOf(std::size_t index, const std::string& folder = "") {
        const RunResult r = Profiles({"list", "--json"}, folder);
        return ParseJsonText(r.out)["profiles"][static_cast<Json::ArrayIndex>(index)]["uuid"].asString();
    }

    // Lists profiles named `names` directly in the list file.
    void SeedList(const std::vector<std::string>& names, const std::string& folder = "mouse") {
        Json::Value list;
        for (std::size_t i = 0; i < names.size(); ++i) {
            char identity[64];
            std::snprintf(identity, sizeof identity, "2020_01_01_00_00_00_%03zu", i);
            list["profilelist"][static_cast<Json::ArrayIndex>(i)]["profilename"] = names[i];
            list["profilelist"][static_cast<Json::ArrayIndex>(i)]["profileUUID"] = identity;
        }
        list["profileselect"] = 0;
        WriteFileText(Folder(folder) / "ProfileList.ini", FormatJsonText(list));
    }

    testing::TempDir dir_{"profiles-cli-test"};
    fs::path home_ = dir_.path() / "home";
    fs::path shipped_ = dir_.path() / "shipped";
    std::optional<std::string> oldDataHome_;
};

void ExpectOneLineError(const RunResult& r, int exitCode, std::string_view mentions) {
    EXPECT_EQ(r.exitCode, exitCode) << r.err;
    EXPECT_TRUE(r.err.starts_with("nurakctl: ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(mentions), std::string::npos) << "stderr: " << r.err << "\nwanted: " << mentions;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(ProfilesCliTest, FreshDeviceListsProfile1MadeFromTheDefault) {
    const RunResult r = Profiles({"list", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        r.out, match,
        std::regex(
            R"re(\{"profiles":\[\{"name":"profile1","uuid":"(\d{4}(_\d\d){5}_\d{3})"\}\],"selected":0\}\n)re")))
        << r.out;
    const std::string identity = match[1];
    Json::Value expected = ParseJsonText(kMouseDefault);
    expected["profilename"] = "profile1";
    expected["profileUUID"] = identity;
    EXPECT_EQ(ReadJson(Folder() / (identity + ".Json")), expected);

    const RunResult text = Profiles({"list"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "0 * profile1  " + identity + "\n");

    // The global option works the same.
    const RunResult global = RunCtl({"--data-dir", shipped_.string(), "profiles", "list", "--json"});
    EXPECT_EQ(global.out, r.out);
}

TEST_F(ProfilesCliTest, CommandsChangeTheListAsThePanelWould) {
    struct Step {
        std::vector<std::string> args;
        std::string says;
        std::vector<std::string> names;
        int selected;
    };
    const Step steps[] = {
        {{"add"}, "added 'profile2'", {"profile1", "profile2"}, 1},
        {{"select", "0"}, "selected 'profile1'", {"profile1", "profile2"}, 0},
        {{"copy"}, "copied 'profile1' to 'profile1 copy'", {"profile1", "profile2", "profile1 copy"}, 0},
        {{"copy"},
         "'profile1 copy copy'",
         {"profile1", "profile2", "profile1 copy", "profile1 copy copy"},
         0},
        {{"rename", "Müde ✓"},
         "renamed 'profile1' to 'Müde ✓'",
         {"Müde ✓", "profile2", "profile1 copy", "profile1 copy copy"},
         0},
        {{"select", "2"},
         "selected 'profile1 copy'",
         {"Müde ✓", "profile2", "profile1 copy", "profile1 copy copy"},
         2},
        {{"delete"},
         "deleted 'profile1 copy', selected 'profile2'",
         {"Müde ✓", "profile2", "profile1 copy copy"},
         1},
        {{"add"}, "added 'profile1'", {"Müde ✓", "profile2", "profile1 copy copy", "profile1"}, 3},
        {{"rename", "-dash-"}, "to '-dash-'", {"Müde ✓", "profile2", "profile1 copy copy", "-dash-"}, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args[0]);
        const RunResult r = Profiles(step.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(step.says), std::string::npos) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        EXPECT_EQ(Listed(), std::make_pair(step.names, step.selected));
    }
    // Names go out as UTF-8, not as escapes.
    EXPECT_NE(Profiles({"list", "--json"}).out.find("\"name\":\"Müde ✓\""), std::string::npos);
}

TEST_F(ProfilesCliTest, DeleteRemovesTheProfileFile) {
    ASSERT_EQ(Profiles({"add"}).exitCode, 0);
    const std::string second = UuidOf(1);
    ASSERT_TRUE(fs::exists(Folder() / (second + ".Json")));
    ASSERT_EQ(Profiles({"delete"}).exitCode, 0);  // the add selected it
    EXPECT_FALSE(fs::exists(Folder() / (second + ".Json")));
    EXPECT_EQ(Listed(), std::make_pair(std::vector<std::string>{"profile1"}, 0));
}

TEST_F(ProfilesCliTest, ExportAndImportRoundTrip) {
    const fs::path exported = dir_.path() / "out" / "mine.json";
    fs::create_directories(exported.parent_path());
    const RunResult out = Profiles({"export", exported.string()});
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.out, "exported 'profile1' to " + exported.string() + "\n");
    const Json::Value file = ReadJson(exported);
    EXPECT_EQ(file["profilename"].asString(), "profile1");
    EXPECT_EQ(file["Shipped"].asString(), "mouse");

    for (const char* expected : {"profile1(1)", "profile1(1)(2)"}) {
        const RunResult in = Profiles({"import", exported.string()});
        ASSERT_EQ(in.exitCode, 0) << in.err;
        EXPECT_EQ(in.out, "imported " + exported.string() + " as '" + expected + "'\n");
    }
    const auto [names, selected] = Listed();
    EXPECT_EQ(names, (std::vector<std::string>{"profile1", "profile1(1)", "profile1(1)(2)"}));
    EXPECT_EQ(selected, 0);
    const std::string identity = UuidOf(2);
    Json::Value expected = file;
    expected["profilename"] = "profile1(1)(2)";
    expected["profileUUID"] = identity;
    EXPECT_EQ(ReadJson(Folder() / (identity + ".Json")), expected);
}

TEST_F(ProfilesCliTest, ResetOfAHeadsetKeepsItsOwnEqualisers) {
    ASSERT_EQ(Profiles({"list"}, "HD").exitCode, 0);
    const std::string identity = UuidOf(0, "HD");
    const fs::path file = Folder("HD") / (identity + ".Json");
    Json::Value own = ReadJson(file);
    own["Device"][0]["CustomEQNameInfo"][0] = "Mine";
    own["Device"][0]["CustomEQHzValueInfo"][0] = 7;
    own["Device"][0]["Volume"] = 90;
    WriteFileText(file, FormatJsonText(own));

    const RunResult r = Profiles({"reset"}, "HD");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "reset 'profile1' to the default profile\n");
    Json::Value expected = ParseJsonText(kHeadsetDefault);
    expected["profilename"] = "profile1";
    expected["profileUUID"] = identity;
    expected["Device"][0]["CustomEQNameInfo"] = own["Device"][0]["CustomEQNameInfo"];
    expected["Device"][0]["CustomEQHzValueInfo"] = own["Device"][0]["CustomEQHzValueInfo"];
    EXPECT_EQ(ReadJson(file), expected);
}

TEST_F(ProfilesCliTest, MissingDefaultProfileStillGivesAProfile) {
    // The shipped folder has no keyboard default.
    const RunResult r = Profiles({"add"}, "keyboard");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string identity = UuidOf(i, "keyboard");
        const Json::Value file = ReadJson(Folder("keyboard") / (identity + ".Json"));
        EXPECT_EQ(file.getMemberNames(), (std::vector<std::string>{"profileUUID", "profilename"}));
    }
}

TEST_F(ProfilesCliTest, RefusalsExitOneWithTheReason) {
    const fs::path bad = dir_.path() / "bad.json";
    WriteFileText(bad, R"({"profilename":"X"})");
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"delete"}, "last profile"},
        {{"select", "1"}, "cannot select index 1 (0..0)"},
        {{"import", bad.string()}, "not a profile file"},
        {{"import", (dir_.path() / "none.json").string()}, "not a profile file"},
        {{"rename", ""}, "cannot be empty"},
        {{"export", dir_.path().string()}, "could not be written"},
    };
    ASSERT_EQ(Profiles({"list"}).exitCode, 0);
    const std::string before = ReadFileText(Folder() / "ProfileList.ini");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        ExpectOneLineError(Profiles(c.args), 1, c.mentions);
        EXPECT_EQ(ReadFileText(Folder() / "ProfileList.ini"), before);
    }

    ASSERT_EQ(Profiles({"add"}).exitCode, 0);
    ASSERT_EQ(Profiles({"select", "0"}).exitCode, 0);
    ExpectOneLineError(Profiles({"rename", "PROFILE2"}), 1, "another profile has this name");
    EXPECT_EQ(Listed().first, (std::vector<std::string>{"profile1", "profile2"}));
    EXPECT_EQ(Profiles({"rename", "PROFILE1"}).exitCode, 0);
}

TEST_F(ProfilesCliTest, AddStopsAtFifty) {
    std::vector<std::string> names;
    for (int i = 0; i < 50; ++i) names.push_back("P" + std::to_string(i));
    SeedList(names);
    ExpectOneLineError(Profiles({"add"}), 1, "50 profiles");
    EXPECT_EQ(Listed().first.size(), 50u);
    EXPECT_EQ(Profiles({"copy"}).exitCode, 0);
    EXPECT_EQ(Listed().first.size(), 51u);
}

TEST_F(ProfilesCliTest, BrokenEntriesNeverReachOutside) {
    WriteFileText(home_ / "x.Json", "outside");
    WriteFileText(Folder() / "ProfileList.ini",
                  R"({"profileselect":0,"profilelist":[{"profilename":"Evil","profileUUID":"../../x"},)"
                  R"({"profilename":"Good","profileUUID":"2020_01_01_00_00_00_001"}]})");
    ASSERT_EQ(Profiles({"reset"}).exitCode, 0);
    ASSERT_EQ(Profiles({"add"}).exitCode, 0);
    ASSERT_EQ(Profiles({"select", "0"}).exitCode, 0);
    ASSERT_EQ(Profiles({"delete"}).exitCode, 0);
    EXPECT_EQ(ReadFileText(home_ / "x.Json"), "outside");
    EXPECT_EQ(Listed(), std::make_pair(std::vector<std::string>{"profile1"}, 0));
    EXPECT_FALSE(fs::exists(Folder() / "2020_01_01_00_00_00_001.Json"));
}

TEST_F(ProfilesCliTest, UsageErrorsExitTwoAndTouchNothing) {
    const std::vector<std::string> cases[] = {
        {},
        {"bogus"},
        {"show", "extra"},
        {"show", "--sensor", "nothex"},
        {"add", "extra"},
        {"rename"},
        {"rename", "a", "b"},
        {"select", "first"},
        {"select", "-1"},
        {"import"},
        {"list", "--yaml"},
        {"--folder", "Mouse", "list"},
        {"--folder", "../mouse", "list"},
        {"--folder"},
        {"--colour", "list"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.empty() ? "(none)" : args[0] + (args.size() > 1 ? " " + args[1] : ""));
        ExpectOneLineError(Profiles(args), 2, "");
        EXPECT_FALSE(fs::exists(home_)) << "a usage error created the data folder";
    }
}

// show reads the selected profile through the profile object of the folder's
// kind; the shipped defaults make a profile whose values are known.
TEST_F(ProfilesCliTest, ShowReadsTheStageArrayOfTheSensor) {
    const std::string data = std::string(NURAK_SOURCE_DIR) + "/data";
    const auto show = [&](std::vector<std::string> args) {
        std::vector<std::string> all = {"profiles", "--data-dir", data, "show", "--json"};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = RunCtl(all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return ParseJsonText(r.out);
    };
    struct Case {
        std::vector<std::string> args;
        const char* sensor;
        std::vector<int> codes;  // X codes of the stages read
    };
    const Case cases[] = {
        {{}, "0x3327", {2, 6, 14, 30, 63, 81, 91}},
        {{"--sensor", "3360"}, "0x3360", {7, 15, 31, 63, 127, 199, 239}},
        {{"--sensor", "0x3335"}, "0x3335", {2, 6, 14, 30, 63, 81, 91}},
        {{"--sensor", "1234"}, "0x1234", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sensor);
        const Json::Value out = show(c.args);
        EXPECT_EQ(out["sensor"].asString(), c.sensor);
        std::vector<int> codes;
        for (const Json::Value& stage : out["stages"]) codes.push_back(stage["x"].asInt());
        EXPECT_EQ(codes, c.codes);
        EXPECT_EQ(out["activeStage"].asInt(), 1);
        EXPECT_EQ(out["system"]["wheelLines"].asInt(), 3);
        ASSERT_EQ(out["keys"].size(), 10u);
        EXPECT_EQ(out["keys"][0]["assignment"].asInt(), 0x100102);
        EXPECT_EQ(out["name"].asString(), "profile1");
    }
}

TEST_F(ProfilesCliTest, ShowOfAHeadsetGivesTheBandsOfItsEqualiser) {
    const std::string data = std::string(NURAK_SOURCE_DIR) + "/data";
    const RunResult r = RunCtl({"profiles", "--data-dir", data, "--folder", "HD", "show", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json::Value out = ParseJsonText(r.out);
    EXPECT_EQ(out["system"]["eqType"].asInt(), 5);
    EXPECT_EQ(out["eqBands"].size(), 10u);
    EXPECT_FALSE(out.isMember("keys"));
    EXPECT_FALSE(out.isMember("stages"));
}

TEST_F(ProfilesCliTest, ShowWithoutAnySettingsFailsWithOneLine) {
    // The fixture has no keyboard default, so the profile has no settings.
    ExpectOneLineError(Profiles({"show"}, "keyboard"), 1, "no device settings");
    ExpectOneLineError(Profiles({"show", "--sensor", "33890"}), 2, "bad sensor model");
}

}  // namespace
}  // namespace nurak::profile
