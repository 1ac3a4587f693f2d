#include "profile/time_stamp_name.h"

#include <cstdio>
#include <ctime>
#include <limits>
#include <utility>

namespace nurak::profile {

namespace {

using std::chrono::milliseconds;

std::int64_t ToMs(Clock::time_point when) {
    return std::chrono::floor<milliseconds>(when).time_since_epoch().count();
}

std::string FormatMs(std::int64_t ms) {
    const std::int64_t secondsPart = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    const int milli = static_cast<int>(ms - secondsPart * 1000);
    const std::time_t seconds = static_cast<std::time_t>(secondsPart);
    std::tm tm{};
    if (!::localtime_r(&seconds, &tm)) ::gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%d_%02d_%02d_%02d_%02d_%02d_%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, milli);
    return text;
}

// Reads a fixed number of digits at pos; -1 when any is not a digit.
int Digits(std::string_view text, std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::string FormatTimeStampName(Clock::time_point when) { return FormatMs(ToMs(when)); }

TimeStampNamer::TimeStampNamer(Now now) : now_(std::move(now)), lastMs_(std::numeric_limits<std::int64_t>::min()) {}

std::string TimeStampNamer::Next() {
    const std::int64_t now = ToMs(now_());
    std::int64_t last = lastMs_.load();
    std::int64_t next;
    do {
        next = now > last ? now : last + 1;
    } while (!lastMs_.compare_exchange_weak(last, next));
    return FormatMs(next);
}

std::string MakeTimeStampName() {
    static TimeStampNamer namer;
    return namer.Next();
}

bool IsTimeStampName(std::string_view text) {
    // YYYY_MM_DD_hh_mm_ss_mmm
    static constexpr std::size_t kLength = 23;
    if (text.size() != kLength) return false;
    for (std::size_t pos : {4u, 7u, 10u, 13u, 16u, 19u})
        if (text[pos] != '_') return false;
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    const int hour = Digits(text, 11, 2);
    const int minute = Digits(text, 14, 2);
    const int second = Digits(text, 17, 2);
    const int milli = Digits(text, 20, 3);
    if (year < 1000 || month < 1 || day < 1 || hour < 0 || minute < 0 || second < 0 || milli < 0) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    return date.ok();
}

}  // namespace nurak::profile
