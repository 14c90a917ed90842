// Date-time values as the station counts them: days since 30 December 1899,
// with the time of day as the fraction. Differences of two such values are
// durations (an elapsed connection time), and a duration is shown by its part
// within one day.
#pragma once

#include "LocalTime.h"

#include <cstdint>

namespace platform {

// Whole milliseconds since 1899-12-30 00:00:00.000, which keeps arithmetic exact.
using DateTimeMs = std::int64_t;

inline constexpr std::int64_t kMsPerDay = 24LL * 60 * 60 * 1000;

DateTimeMs toDateTimeMs(const LocalTime& time);
LocalTime fromDateTimeMs(DateTimeMs value);

// The days of a month (1..12) of the Gregorian calendar.
int daysInMonth(int year, int month);

// The part of a duration within one day, as a time of day (the date fields are
// those of day 0). A negative duration counts back from midnight.
LocalTime timeWithinDay(DateTimeMs duration);

} // namespace platform
