#include "profile/time_stamp_name.h"

#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace nurak::profile;

namespace {

// A point given in local time, whatever the zone of the machine.
Clock::time_point Local(int year, int month, int day, int hour, int minute, int second, int milli) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(milli);
}

TEST(TimeStampName, FormatsLocalTimeToTheMillisecond) {
    EXPECT_EQ(FormatTimeStampName(Local(2019, 3, 7, 14, 5, 9, 42)), "2019_03_07_14_05_09_042");
    EXPECT_EQ(FormatTimeStampName(Local(2024, 12, 31, 23, 59, 59, 999)), "2024_12_31_23_59_59_999");
    // Sub-millisecond parts are cut, not rounded.
    EXPECT_EQ(FormatTimeStampName(Local(2019, 3, 7, 14, 5, 9, 42) + std::chrono::microseconds(999)),
              "2019_03_07_14_05_09_042");
}

TEST(TimeStampName, NamesWithinOneMillisecondStayDistinct) {
    Clock::time_point now = Local(2019, 12, 31, 23, 59, 59, 998);
    TimeStampNamer namer([&] { return now; });
    EXPECT_EQ(namer.Next(), "2019_12_31_23_59_59_998");
    EXPECT_EQ(namer.Next(), "2019_12_31_23_59_59_999");
    // The carry runs through every field.
    EXPECT_EQ(namer.Next(), "2020_01_01_00_00_00_000");
    // Once the clock passes the last name, it is used again.
    now = Local(2020, 1, 1, 0, 0, 0, 5);
    EXPECT_EQ(namer.Next(), "2020_01_01_00_00_00_005");
    // A clock that goes back still gives later names.
    now = Local(2019, 6, 1, 12, 0, 0, 0);
    EXPECT_EQ(namer.Next(), "2020_01_01_00_00_00_006");
}

TEST(TimeStampName, ConcurrentCallersGetDistinctValidNames) {
    const Clock::time_point fixed = Local(2021, 2, 28, 23, 59, 59, 990);
    TimeStampNamer namer([&] { return fixed; });
    std::vector<std::vector<std::string>> perThread(4);
    std::vector<std::thread> threads;
    for (auto& names : perThread)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) names.push_back(namer.Next());
        });
    for (auto& t : threads) t.join();
    std::set<std::string> all;
    for (const auto& names : perThread)
        for (const auto& name : names) {
            EXPECT_TRUE(IsTimeStampName(name)) << name;
            all.insert(name);
        }
    EXPECT_EQ(all.size(), 200u);
    EXPECT_EQ(*all.begin(), "2021_02_28_23_59_59_990");
    EXPECT_EQ(*all.rbegin(), "2021_03_01_00_00_00_189");
}

TEST(TimeStampName, ProcessWideNamesAreValidAndIncreasing) {
    std::string last = MakeTimeStampName();
    EXPECT_TRUE(IsTimeStampName(last)) << last;
    for (int i = 0; i < 20; ++i) {
        const std::string next = MakeTimeStampName();
        EXPECT_GT(next, last);
        last = next;
    }
}

TEST(TimeStampName, RecognisesExactlyTheStampForm) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"2019_03_07_14_05_09_042", true},
        {"2024_02_29_00_00_00_000", true},
        {"1999_12_31_23_59_59_999", true},
        {"", false},
        {"2019_03_07_14_05_09_42", false},    // short millisecond
        {"2019_03_07_14_05_09_0420", false},  // long
        {"2019-03-07_14_05_09_042", false},
        {"2019_3_07_14_05_09_042_", false},
        {"2019_13_07_14_05_09_042", false},
        {"2019_00_07_14_05_09_042", false},
        {"2019_02_29_14_05_09_042", false},   // not a leap year
        {"2019_04_31_14_05_09_042", false},
        {"2019_03_00_14_05_09_042", false},
        {"2019_03_07_24_05_09_042", false},
        {"2019_03_07_14_60_09_042", false},
        {"2019_03_07_14_05_60_042", false},
        {"0999_03_07_14_05_09_042", false},
        {"2019_03_07_14_05_09_-42", false},
        {"2019_03_07_14_05_09_04a", false},
        {"../../etc/passwd_000000", false},
        {"2019_03_07_14_05_09_042\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsTimeStampName(c.text), c.valid) << '"' << c.text << '"';
    EXPECT_FALSE(IsTimeStampName(std::string_view("2019_03_07\0_4_05_09_042", 23)));
}

}  // namespace
