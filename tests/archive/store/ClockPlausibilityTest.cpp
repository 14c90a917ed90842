// When the wall clock may delete archive days by their age: one table of
// passes, each case a run of passes with the clocks moved between them as a
// wrong date and its correction move them, and the verdict expected at each.
#include "ClockPlausibility.h"

#include "DateTime.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

using namespace monitor;
using Verdict = ClockPlausibility::Verdict;

namespace {

constexpr std::int64_t kMinute = 60 * 1000;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = platform::kMsPerDay;
const platform::LocalTime kStart{2026, 12, 8, 14, 0, 0, 0};

// Ten days on the disk up to today, none past a 30-day limit.
ClockPlausibility::Disk tenDays(std::int64_t today)
{
    return {today, 9, 0};
}

struct Step
{
    std::int64_t wallMoves;      // what the wall clock moved since the last pass
    std::int64_t monotonicMoves; // what the monotonic clock moved
    Verdict expected;
    std::optional<ClockPlausibility::Disk> disk; // none: ten real days up to the start
    bool confirmFirst;                           // the operator confirms before the pass
};

Step step(std::int64_t wall, std::int64_t monotonic, Verdict expected = Verdict::plausible)
{
    return {wall, monotonic, expected, std::nullopt, false};
}

Step onDisk(ClockPlausibility::Disk disk, std::int64_t wall, std::int64_t monotonic,
            Verdict expected = Verdict::plausible, bool confirmFirst = false)
{
    return {wall, monotonic, expected, disk, confirmFirst};
}

struct Case
{
    const char* legend;
    std::uint32_t firstTicks;
    std::vector<Step> steps;
};

} // namespace

TEST(ClockPlausibility, HoldsAgeDeletionWhileTheClockCannotBeTrusted)
{
    const std::int64_t startDay = platform::toDateTimeMs(kStart) / kDay;
    const ClockPlausibility::Disk real = tenDays(startDay);
    const ClockPlausibility::Disk ahead{startDay + 1, 0, 0};
    const ClockPlausibility::Disk allOld{startDay - 40, 3, 3};
    const ClockPlausibility::Disk future{startDay + 5, 0, 0};
    Step confirmed = step(kMinute, kMinute);
    confirmed.confirmFirst = true;
    const Case cases[] = {
        {"both clocks move together: trusted",
         0,
         {step(0, 0), step(kMinute, kMinute), step(5 * kDay, 5 * kDay)}},
        {"forward 400 days against the monotonic clock: held until confirmed",
         0,
         {step(0, 0), step(400 * kDay, kMinute, Verdict::jumped),
          step(kMinute, kMinute, Verdict::jumped), confirmed, step(kMinute, kMinute)}},
        {"back 400 days, then corrected: held, then plausible again",
         0,
         {step(0, 0), step(-400 * kDay, kMinute, Verdict::jumped),
          step(kMinute, kMinute, Verdict::jumped), step(400 * kDay, kMinute)}},
        {"a daylight-saving hour forward and back stays under the limit",
         0,
         {step(0, 0), step(kHour + kMinute, kMinute), step(-kHour + kMinute, kMinute)}},
        {"two hours back is a jump", 0, {step(0, 0), step(-2 * kHour, kMinute, Verdict::jumped)}},
        {"slow corrections of an hour each pass never add up to a hold",
         0,
         {step(0, 0), step(kHour, kMinute), step(kHour, kMinute), step(kHour, kMinute)}},
        {"the tick counter wraps at 2^32 while both move together",
         0xFFFF0000u,
         {step(0, 0), step(kDay, kDay), step(kDay, kDay)}},
        {"earlier than the newest day on the disk: held until the clock reaches it",
         0,
         {onDisk(ahead, 0, 0, Verdict::beforeNewestDay), onDisk(ahead, kDay, kDay)}},
        {"a pass would take every past day: held; the operator's confirmation releases it",
         0,
         {onDisk(allOld, 0, 0, Verdict::wouldEmptyHistory),
          onDisk(allOld, kMinute, kMinute, Verdict::plausible, true),
          onDisk(allOld, kMinute, kMinute)}},
        {"a confirmed clock that jumps is held, and trusted again once back",
         0,
         {onDisk(future, 0, 0, Verdict::plausible, true), onDisk(future, kMinute, kMinute),
          onDisk(future, -3 * kHour, kMinute, Verdict::jumped),
          onDisk(future, 3 * kHour, kMinute)}},
        {"a day deleted by age each day, as a running station does: trusted",
         0,
         {onDisk({startDay, 30, 1}, 0, 0), onDisk({startDay + 1, 30, 1}, kDay, kDay)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        ClockPlausibility plausibility;
        platform::DateTimeMs wall = platform::toDateTimeMs(kStart);
        std::uint32_t ticks = c.firstTicks;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE("pass " + std::to_string(i));
            wall += step.wallMoves;
            ticks += static_cast<std::uint32_t>(step.monotonicMoves);
            if (step.confirmFirst)
                plausibility.confirm();
            const ClockPlausibility::Judgement judgement = plausibility.judge(
                {platform::fromDateTimeMs(wall), ticks}, step.disk.value_or(real));
            EXPECT_EQ(judgement.verdict, step.expected) << judgement.why;
            EXPECT_EQ(judgement.confirmed, step.confirmFirst);
            EXPECT_EQ(judgement.why.empty(), step.expected == Verdict::plausible);
        }
    }
}
