#include "profile/data_places.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <optional>
#include <string>

#include "platform/file_io.h"
#include "platform/user_dirs.h"
#include "support/temp_dir.h"

namespace nurak::profile {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DataPlaces, PlainFileNames) {
    struct Case {
        const char* name;
        bool plain;
    };
    const Case cases[] = {{"mouse", true}, {"MousePad", true}, {"a b", true},
                          {"", false},     {".", false},       {"..", false},
                          {"a/b", false},  {"/abs", false},    {"..hidden", true}};
    for (const Case& c : cases) EXPECT_EQ(IsPlainFileName(c.name), c.plain) << c.name;
    EXPECT_FALSE(IsPlainFileName(std::string_view("a\0b", 3)));
}

TEST(DataPlaces, DeviceDataFolderIsCreatedUnderDataHome) {
    testing::TempDir home;
    ScopedEnv data("XDG_DATA_HOME", home.path().c_str());
    const std::filesystem::path folder = DeviceDataFolder("mouse3389");
    EXPECT_EQ(folder, home.path() / "Brakk 400100 Gaming Mouse" / "mouse3389");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(DeviceDataFolder("../escape").empty());
    EXPECT_FALSE(std::filesystem::exists(home.path() / "escape"));
}

TEST(DataPlaces, BaseDirectoriesFollowTheXdgRules) {
    testing::TempDir home;
    ScopedEnv homeVar("HOME", home.path().c_str());
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/path");
        ScopedEnv unsetConfig("XDG_CONFIG_HOME", nullptr);
        ScopedEnv cache("XDG_CACHE_HOME", "/var/cache-x");
        EXPECT_EQ(platform::DataHome(), home.path() / ".local/share");
        EXPECT_EQ(platform::ConfigHome(), home.path() / ".config");
        EXPECT_EQ(platform::CacheHome(), "/var/cache-x");
    }
    ScopedEnv unsetRuntime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_TRUE(platform::RuntimeDir().empty());
}

TEST(DataPlaces, ShippedDataFolderOverrideAndDefaultProfile) {
    testing::TempDir shipped;
    SetShippedDataFolder(shipped.path());
    EXPECT_EQ(DefaultProfilePath("mouse"), shipped.path() / "DefaultData" / "mouse.Json");
    SetShippedDataFolder({});
    // Without an override a program of the build tree finds the source tree's data.
    EXPECT_TRUE(std::filesystem::is_directory(DefaultDataFolder())) << DefaultDataFolder();
}

TEST(DataPlaces, IdentifiedFilesStayInsideTheFolder) {
    const std::filesystem::path folder = "/data/mouse";
    EXPECT_EQ(IdentifiedFile(folder, "2026_12_11_15_04_05_042", ".Json"),
              std::filesystem::path("/data/mouse/2026_12_11_15_04_05_042.Json"));
    for (const char* bad : {"", "..", "../2026_12_11_15_04_05_042", "2026_12_11_15_04_05_042/..", "a/b",
                            "/etc/passwd", "2026_13_11_15_04_05_042", "2026_12_11_15_04_05_04"})
        EXPECT_FALSE(IdentifiedFile(folder, bad, ".mac").has_value()) << bad;
}

TEST(FileIo, CopyReplacesTheTargetWholeOrNotAtAll) {
    testing::TempDir dir;
    const auto from = dir.path() / "from";
    const auto to = dir.path() / "to";
    ASSERT_TRUE(platform::ReplaceFileContents(from, std::string("line 1\r\nbytes \x01\xff\n", 18)));
    ASSERT_TRUE(platform::ReplaceFileContents(to, "old"));
    ASSERT_TRUE(platform::CopyFileContents(from, to));
    std::string copied;
    ASSERT_TRUE(platform::ReadWholeFile(to, 1024, copied));
    EXPECT_EQ(copied, std::string("line 1\r\nbytes \x01\xff\n", 18));

    // A missing source or an over-limit source leaves the target as it was.
    EXPECT_FALSE(platform::CopyFileContents(dir.path() / "missing", to));
    EXPECT_FALSE(platform::CopyFileContents(from, to, 4));
    ASSERT_TRUE(platform::ReadWholeFile(to, 1024, copied));
    EXPECT_EQ(copied.size(), 18u);
    // Nothing but the two files is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace nurak::profile
