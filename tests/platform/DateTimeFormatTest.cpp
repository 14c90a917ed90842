// The date and time patterns the station names its files and events with.
#include "DateTimeFormat.h"

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
