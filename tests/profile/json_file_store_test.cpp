#include "profile/json_file_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/trace.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nurak::profile;
using nurak::testing::TempDir;

using nurak::testing::ReadFileText;
using nurak::testing::WriteFileText;

namespace {

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

// Collects what is traced while it lives.
class TraceCapture {
public:
    TraceCapture() {
        nurak::trace::SetEnabled(true);
        nurak::trace::SetSink([this](std::string_view text) { lines.emplace_back(text); });
    }
    ~TraceCapture() {
        nurak::trace::SetSink({});
        nurak::trace::SetEnabled(false);
    }
    std::vector<std::string> lines;
};

Json::Value SampleProfile() {
    Json::Value root;
    root["profilename"] = "游戏配置 一";
    root["profileUUID"] = "2019_03_07_14_05_09_042";
    Json::Value device;
    device["LightInfo"]["Red"] = 255;
    device["LightInfo"]["MultiColor"] = 1;
    device["KeyList"][0]["Assignment"] = 0x010203;
    device["KeyList"][1]["Assignment"] = -1;
    device["Name"] = "Ünïcödé ✓";
    device["Escapes"] = std::string("q\"b\\s/\n\t\x01\0end", 14);
    device["Real"] = 0.1;
    device["Big"] = Json::UInt64(18446744073709551615ull);
    root["Device"][0] = device;
    return root;
}

class JsonFileStoreTest : public ::testing::Test {
protected:
    TempDir dir_;
    JsonFileStore store_;
};

TEST_F(JsonFileStoreTest, RoundTripKeepsValuesAndUtf8Text) {
    const fs::path file = dir_.path() / "配置.json";
    const Json::Value profile = SampleProfile();
    ASSERT_EQ(store_.WriteJsonFile(file, profile), 0);
    EXPECT_EQ(store_.ReadJsonFile(file), profile);
    // Stored as raw UTF-8, not escaped or converted.
    const std::string text = ReadFileText(file);
    EXPECT_NE(text.find("\"游戏配置 一\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"Ünïcödé ✓\""), std::string::npos) << text;
    EXPECT_EQ(store_.ReadJsonFile(file)["profilename"].asString(), "游戏配置 一");
}

TEST_F(JsonFileStoreTest, OutputIsIndentedOneMemberPerLineWithOneFinalLineFeed) {
    Json::Value value;
    value["a"] = 1;
    value["b"].append(1);
    value["b"].append(2);
    value["c"]["d"] = "x";
    const fs::path file = dir_.path() / "form.json";
    ASSERT_EQ(store_.WriteJsonFile(file, value), 0);
    EXPECT_EQ(ReadFileText(file),
              "{\n"
              "   \"a\" : 1,\n"
              "   \"b\" : [ 1, 2 ],\n"
              "   \"c\" : {\n"
              "      \"d\" : \"x\"\n"
              "   }\n"
              "}\n");
}

TEST_F(JsonFileStoreTest, RewriteReplacesContentAndLeavesNoTemporary) {
    const fs::path file = dir_.path() / "p.json";
    Json::Value big;
    for (int i = 0; i < 100; ++i) big["k"].append(i);
    ASSERT_EQ(store_.WriteJsonFile(file, big), 0);
    Json::Value small;
    small["k"] = 1;
    ASSERT_EQ(store_.WriteJsonFile(file, small), 0);
    EXPECT_EQ(ReadFileText(file), "{\n   \"k\" : 1\n}\n");
    EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"p.json"});
}

TEST_F(JsonFileStoreTest, RewriteKeepsFilePermissions) {
    const fs::path file = dir_.path() / "p.json";
    ASSERT_EQ(store_.WriteJsonFile(file, Json::Value(1)), 0);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(store_.WriteJsonFile(file, Json::Value(2)), 0);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(JsonFileStoreTest, FailedWriteReturnsOneAndKeepsOldFile) {
    const fs::path file = dir_.path() / "keep.json";
    ASSERT_EQ(store_.WriteJsonFile(file, SampleProfile()), 0);
    const std::string before = ReadFileText(file);

    // A folder where the target is: the rename fails after the temporary was written.
    const fs::path folderTarget = dir_.path() / "folder.json";
    fs::create_directory(folderTarget);
    WriteFileText(folderTarget / "inside", "x");
    // A target whose parent is a regular file, and one whose folder is missing.
    const std::vector<fs::path> failing = {folderTarget, file / "child.json", dir_.path() / "missing" / "a.json"};
    for (const fs::path& target : failing) {
        SCOPED_TRACE(target.string());
        EXPECT_EQ(store_.WriteJsonFile(target, Json::Value(7)), 1);
    }
    EXPECT_EQ(ReadFileText(file), before);
    EXPECT_TRUE(fs::is_directory(folderTarget));
    std::vector<std::string> names = Names(dir_.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder.json", "keep.json"}));
}

TEST_F(JsonFileStoreTest, WriteAndReadAreTraced) {
    TraceCapture capture;
    const fs::path file = dir_.path() / "t.json";
    ASSERT_EQ(store_.WriteJsonFile(file, Json::Value(1)), 0);
    (void)store_.ReadJsonFile(dir_.path() / "none.json");
    WriteFileText(dir_.path() / "empty.json", "");
    (void)store_.ReadJsonFile(dir_.path() / "empty.json");
    EXPECT_EQ(capture.lines, (std::vector<std::string>{"wirtejsonFile 错误吗：：0\n",
                                                       "readjsonFile 错误吗：：" + std::to_string(ENOENT) + "\n",
                                                       "readjsonFile 错误吗：：0\n",
                                                       (dir_.path() / "empty.json").string()}));
}

TEST_F(JsonFileStoreTest, UnusableFilesReadAsNull) {
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"unparsable", "{\"a\": 1,"},
        {"garbage", "\x01\x02\xff"},
        {"unterminated string", "\"abc"},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']')},
        {"deep objects", [] {
             std::string s;
             for (int i = 0; i < 20000; ++i) s += "{\"a\":";
             s += "1" + std::string(20000, '}');
             return s;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir_.path() / "f.json";
        WriteFileText(file, c.text);
        EXPECT_TRUE(store_.ReadJsonFile(file).isNull());
    }
    EXPECT_TRUE(store_.ReadJsonFile(dir_.path() / "missing.json").isNull());
    EXPECT_TRUE(store_.ReadJsonFile(dir_.path()).isNull());
    // A FIFO would block a plain read forever.
    const fs::path fifo = dir_.path() / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(store_.ReadJsonFile(fifo).isNull());
}

TEST_F(JsonFileStoreTest, ModerateNestingStillParses) {
    const int depth = kMaxJsonDepth - 1;
    const Json::Value value = ParseJsonText(std::string(depth, '[') + std::string(depth, ']'));
    EXPECT_TRUE(value.isArray());
    EXPECT_TRUE(ParseJsonText(std::string(depth + 5, '[') + std::string(depth + 5, ']')).isNull());
}

TEST_F(JsonFileStoreTest, CommentsAreAccepted) {
    const fs::path file = dir_.path() / "c.json";
    WriteFileText(file,
        "// profile\n"
        "{\n"
        "  /* brightness */ \"Light\": 3, // trailing\n"
        "  \"Name\": \"x\"\n"
        "}\n");
    const Json::Value value = store_.ReadJsonFile(file);
    EXPECT_EQ(JsonInt(value, "Light", -1), 3);
    EXPECT_EQ(JsonString(value, "Name", ""), "x");
}

TEST_F(JsonFileStoreTest, FilesAboveTheSizeLimitReadAsNull) {
    // A valid string just fits; one byte more is refused unparsed.
    const fs::path file = dir_.path() / "big.json";
    std::string text = "\"" + std::string(kMaxJsonFileSize - 2, 'a') + "\"";
    WriteFileText(file, text);
    EXPECT_TRUE(store_.ReadJsonFile(file).isString());
    text.insert(1, "a");
    WriteFileText(file, text);
    EXPECT_TRUE(store_.ReadJsonFile(file).isNull());
}

TEST(JsonAccessors, WrongTypesAndRangesGiveTheFallback) {
    const Json::Value doc = ParseJsonText(R"({
        "int": 42, "neg": -5, "real_int": 7.0, "fraction": 2.5,
        "string": "12", "object": {"a": 1}, "array": [10, "x", {"b": true}],
        "huge": 1e300, "pow40": 1099511627776, "uint_max": 4294967295,
        "null": null, "true": true, "false": false
    })");
    ASSERT_TRUE(doc.isObject());
    struct Case {
        const char* member;
        int asInt;
        unsigned asUInt;
        bool asBool;
    };
    // Fallbacks are -1, 99u and "fallback" unless the member fits.
    const Case cases[] = {
        {"int", 42, 42u, true},        {"neg", -5, 99u, true},          {"real_int", 7, 7u, true},
        {"fraction", -1, 99u, false},  {"string", -1, 99u, false},      {"object", -1, 99u, false},
        {"array", -1, 99u, false},     {"huge", -1, 99u, false},        {"pow40", -1, 99u, true},
        {"uint_max", -1, 4294967295u, true}, {"null", -1, 99u, false},  {"true", -1, 99u, true},
        {"false", -1, 99u, false},     {"absent", -1, 99u, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_NO_THROW({
            EXPECT_EQ(JsonInt(doc, c.member, -1), c.asInt);
            EXPECT_EQ(JsonUInt(doc, c.member, 99u), c.asUInt);
            EXPECT_EQ(JsonBool(doc, c.member, false), c.asBool);
            if (std::string(c.member) != "string") {
                EXPECT_EQ(JsonString(doc, c.member, "fallback"), "fallback");
            }
            if (std::string(c.member) != "array") {
                EXPECT_TRUE(JsonArrayItem(doc[c.member], 0).isNull());
            }
        });
    }
    EXPECT_EQ(JsonString(doc, "string", "fallback"), "12");
    // Bool fallback true must survive wrong types too.
    EXPECT_TRUE(JsonBool(doc, "string", true));
    EXPECT_TRUE(JsonBool(doc, "huge", true));
}

TEST(JsonAccessors, MembersAndItemsOfWrongContainersAreNull) {
    const Json::Value doc = ParseJsonText(R"({"Device": [{"LightInfo": {"Red": 200}}], "KeyList": {"0": 1}})");
    const Json::Value& device = JsonArrayItem(JsonMember(doc, "Device"), 0);
    EXPECT_EQ(JsonInt(JsonMember(device, "LightInfo"), "Red", 0), 200);
    EXPECT_NO_THROW({
        // An object where an array belongs, and the other way round.
        EXPECT_TRUE(JsonArrayItem(JsonMember(doc, "KeyList"), 0).isNull());
        EXPECT_TRUE(JsonMember(JsonMember(doc, "Device"), "LightInfo").isNull());
        EXPECT_TRUE(JsonArrayItem(JsonMember(doc, "Device"), 1).isNull());
        EXPECT_TRUE(JsonArrayItem(JsonMember(doc, "Device"), static_cast<std::size_t>(-1)).isNull());
        EXPECT_TRUE(JsonMember(Json::Value("text"), "a").isNull());
        EXPECT_TRUE(JsonMember(Json::Value(5), "a").isNull());
        EXPECT_TRUE(JsonMember(doc, nullptr).isNull());
    });
    // Reading never adds members.
    EXPECT_EQ(doc.size(), 2u);
    EXPECT_EQ(device.size(), 1u);
}

// The outside parser corpus: y_ files are valid JSON and must parse; others
// may go either way but must not crash or hang.
TEST(JsonCorpus, EveryFileReadsWithoutCrashAndValidOnesParse) {
    const fs::path folder = fs::path(NURAK_TESTDATA_DIR) / "json-parsing";
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no corpus at " << folder;
    JsonFileStore store;
    int valid = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const Json::Value value = store.ReadJsonFile(entry.path());
        if (name.rfind("y_", 0) != 0) continue;
        ++valid;
        SCOPED_TRACE(name);
        if (value.isNull()) {
            // Only a document that is literally null may read as null.
            std::string text = ReadFileText(entry.path());
            text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char ch) { return std::isspace(ch); }),
                       text.end());
            EXPECT_EQ(text, "null");
        }
    }
    EXPECT_GT(valid, 0);
}

}  // namespace
