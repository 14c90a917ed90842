// Judging the wall clock against the monotonic clock and the archive's days.
#include "ClockPlausibility.h"

#include "DateTimeFormat.h"

#include <cstdlib>

namespace monitor {
namespace {

std::string dateTimeText(platform::DateTimeMs at)
{
    return platform::formatDateTime("yyyy-mm-dd hh:nn", platform::fromDateTimeMs(at));
}

std::string dateText(std::int64_t dayNumber)
{
    return platform::formatDateTime("yyyy-mm-dd",
                                    platform::fromDateTimeMs(dayNumber * platform::kMsPerDay));
}

// A clock's difference in words: whole days when it is two days or more.
std::string amountText(std::int64_t ms)
{
    constexpr std::int64_t kMsPerMinute = 60 * 1000;
    const std::int64_t size = std::llabs(ms);
    if (size >= 2 * platform::kMsPerDay)
        return std::to_string(size / platform::kMsPerDay) + " days";
    return std::to_string(size / kMsPerMinute) + " minutes";
}

} // namespace

ClockReading readClocks(const platform::Clock& clock)
{
    return {clock.now(), clock.tickCount()};
}

ClockPlausibility::ClockPlausibility(std::chrono::milliseconds jumpLimit)
    : m_jumpLimitMs(jumpLimit.count())
{
}

ClockPlausibility::Judgement ClockPlausibility::judge(const ClockReading& now, const Disk& disk)
{
    // Differences of the wrapping counter are right across a wrap as long as
    // passes come less than 49 days apart.
    if (m_lastTicks)
        m_monotonicMs += static_cast<std::uint32_t>(now.ticks - *m_lastTicks);
    m_lastTicks = now.ticks;
    const platform::DateTimeMs wall = platform::toDateTimeMs(now.wall);
    const std::int64_t today = wall / platform::kMsPerDay;

    Judgement judgement;
    const auto trust = [&] {
        m_trustedWall = wall;
        m_trustedMonotonicMs = m_monotonicMs;
        return judgement;
    };
    if (m_confirmPending) {
        m_confirmPending = false;
        m_vouched = true;
        judgement.confirmed = true;
        return trust();
    }
    if (m_trustedWall) {
        const std::int64_t moved = (wall - *m_trustedWall) - (m_monotonicMs - m_trustedMonotonicMs);
        if (std::llabs(moved) > m_jumpLimitMs) {
            judgement.verdict = Verdict::jumped;
            judgement.why = "the clock reads " + dateTimeText(wall) + ", " + amountText(moved) +
                            (moved > 0 ? " ahead of" : " behind") +
                            " the monotonic clock since it read " + dateTimeText(*m_trustedWall);
            return judgement;
        }
    }
    if (!m_vouched && disk.newestDay && today < *disk.newestDay) {
        judgement.verdict = Verdict::beforeNewestDay;
        judgement.why = "the clock reads " + dateTimeText(wall) +
                        ", before the newest day in the archive, " + dateText(*disk.newestDay);
        return judgement;
    }
    if (!m_vouched && disk.pastDays > 0 && disk.pastDaysOverAge == disk.pastDays) {
        judgement.verdict = Verdict::wouldEmptyHistory;
        judgement.why =
            "the clock reads " + dateTimeText(wall) + " and the age limit would take " +
            (disk.pastDays == 1 ? std::string("the only past day")
                                : "all " + std::to_string(disk.pastDays) + " past days") +
            " at once";
        return judgement;
    }
    return trust();
}

} // namespace monitor
