// The date and time patterns the station names its files and events with.
#include "DateTimeFormat.h"

#include "DateTime.h"

#include <gtest/gtest.h>

using platform::formatDateTime;
using platform::LocalTime;

TEST(DateTimeFormat, Patterns)
{
    const LocalTime t{2026, 12, 6, 9, 5, 7, 250};
    const struct
    {
        const char* legend;
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"event time text", "yyyy/mm/dd hh:mm:ss", "2026/12/06 09:05:07"},
        {"log line stamp", "hh:mm:ss ", "09:05:07 "},
        {"raw file time, mm after hh is minutes", "hhmmss ", "090507 "},
        {"month folder, mm without hh is the month", "yyyy mm", "2026 12"},
        {"day prefix", "dd ", "06 "},
        {"nn is always minutes", "hhnnss", "090507"},
        {"quoted text is copied as it stands", "dd\"mm hh\"mm", "06mm hh12"},
        {"two-digit year", "yy", "26"},
        {"other characters are copied", "yyyy-mm_dd.", "2026-12_06."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatDateTime(c.pattern, t), c.expected) << c.legend;
}

TEST(DateTimeFormat, EventTimeTextHasNineteenCharacters)
{
    const LocalTime midnight{2027, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(formatDateTime(platform::kEventTimePattern, midnight), "2027/01/01 00:00:00");
    EXPECT_EQ(formatDateTime(platform::kEventTimePattern, platform::localNow()).size(), 19u);
}

TEST(DateTime, RoundTripsAndDurations)
{
    using platform::LocalTime;
    struct Case
    {
        const char* legend;
        LocalTime time;
        platform::DateTimeMs expected;
    };
    const Case cases[] = {
        {"the epoch is day 0", {1899, 12, 30, 0, 0, 0, 0}, 0},
        {"a day later", {1899, 12, 31, 0, 0, 0, 0}, platform::kMsPerDay},
        {"noon of 1 Jan 1900",
         {1900, 1, 1, 12, 0, 0, 0},
         2 * platform::kMsPerDay + platform::kMsPerDay / 2},
        {"leap day 2024",
         {2024, 2, 29, 23, 59, 59, 999},
         45351LL * platform::kMsPerDay + platform::kMsPerDay - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ(platform::toDateTimeMs(c.time), c.expected);
        EXPECT_EQ(
            platform::formatDateTime("yyyy/mm/dd hh:nn:ss", platform::fromDateTimeMs(c.expected)),
            platform::formatDateTime("yyyy/mm/dd hh:nn:ss", c.time));
    }
    // A connection of 25 hours shows one hour: only the part within a day counts.
    const auto login = platform::toDateTimeMs({2024, 3, 7, 10, 0, 0, 0});
    const auto now = platform::toDateTimeMs({2024, 3, 8, 11, 0, 0, 0});
    EXPECT_EQ(platform::formatDateTime("hh:nn:ss", platform::timeWithinDay(now - login)),
              "01:00:00");
    EXPECT_EQ(platform::formatDateTime("hh:nn:ss", platform::timeWithinDay(-1000)), "23:59:59");
}
