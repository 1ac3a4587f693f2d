#pragma once

#include <cstdint>

namespace nurak {

// Milliseconds of a monotonic clock; the 32-bit form wraps like a tick count.
uint64_t TickCount64();
inline uint32_t TickCount() { return static_cast<uint32_t>(TickCount64()); }

// Microseconds of the same clock, for measurements.
uint64_t MonotonicMicros();

// Sleeps at least the given number of milliseconds.
void SleepMs(uint32_t ms);

}  // namespace nurak
