// Local calendar time, broken down, and the system's clocks.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime
{
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local date and time now.
LocalTime localNow();

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick counter.
std::uint32_t tickCount();

} // namespace platform
