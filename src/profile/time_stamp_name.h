#pragma once

// Profile identities are local time stamps such as "2019_03_07_14_05_09_042"
// (year, month, day, hour, minute, second, millisecond). They also become
// file names, so each one handed out must be new.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace nurak::profile {

using Clock = std::chrono::system_clock;

// Formats a point in local time, to the millisecond (rounded down).
std::string FormatTimeStampName(Clock::time_point when);

// Hands out strictly increasing names: when the clock has not moved on by a
// millisecond since the last name (or went back), the name is the last one
// plus one millisecond.
class TimeStampNamer {
public:
    using Now = std::function<Clock::time_point()>;
    explicit TimeStampNamer(Now now = [] { return Clock::now(); });
    std::string Next();

private:
    Now now_;
    std::atomic<std::int64_t> lastMs_;
};

// The process-wide namer on the system clock.
std::string MakeTimeStampName();

// True for exactly the form above with a real date and time of day.
bool IsTimeStampName(std::string_view text);

}  // namespace nurak::profile
