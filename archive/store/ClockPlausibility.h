// ClockPlausibility: whether the wall clock can be trusted to delete archive
// days by their age. Retention by age counts calendar days, so a clock that
// jumped (a machine that booted with a wrong date and corrected it, or the
// reverse) would otherwise delete real history at once.
//
// Each pass gives the wall clock and the monotonic tick counter read together,
// and what the archive on the disk says. The clock is held (age deletion
// waits) while:
//   - the wall clock moved against the monotonic clock by more than the jump
//     limit since the last pass that trusted it (a daylight-saving change of
//     one hour stays under the limit, and each trusted pass takes the clocks'
//     difference afresh, so slow corrections never add up to a hold);
//   - its date is earlier than the newest day on the disk;
//   - the age limit would take every past day at once (a clock far ahead, or
//     a station started after a stop longer than the limit).
// It goes on when none of these holds any more (the clock came back), or when
// the operator confirms the date: the clock as the next pass reads it is then
// trusted, and the disk's checks are left out for the rest of the run (the
// check against the monotonic clock goes on).
//
// Threading: none of its own; used by one thread at a time (the retention's).
#pragma once

#include "Clock.h"
#include "DateTime.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace monitor {

// The station's two clocks, read together on the thread that asks for a pass.
struct ClockReading
{
    platform::LocalTime wall;
    std::uint32_t ticks = 0; // monotonic milliseconds, wrapping at 2^32
};

ClockReading readClocks(const platform::Clock& clock);

class ClockPlausibility
{
public:
    static constexpr std::chrono::milliseconds kJumpLimit{std::chrono::minutes(90)};

    explicit ClockPlausibility(std::chrono::milliseconds jumpLimit = kJumpLimit);

    // What the archive's days say, by day numbers (days since 1899-12-30).
    struct Disk
    {
        std::optional<std::int64_t> newestDay; // none: no day on the disk
        int pastDays = 0;                      // days before today
        int pastDaysOverAge = 0;               // of those, the ones the age limit takes
    };

    enum class Verdict
    {
        plausible,
        jumped,            // moved against the monotonic clock
        beforeNewestDay,   // earlier than the newest day on the disk
        wouldEmptyHistory, // the age limit would take every past day
    };

    struct Judgement
    {
        Verdict verdict = Verdict::plausible;
        bool confirmed = false; // this pass took the operator's confirmation
        std::string why;        // for a hold: what is wrong, with the dates
    };

    Judgement judge(const ClockReading& now, const Disk& disk);
    // The operator vouches for the date: the next judge() trusts the clock.
    void confirm() { m_confirmPending = true; }

private:
    const std::int64_t m_jumpLimitMs;
    std::optional<std::uint32_t> m_lastTicks;
    std::int64_t m_monotonicMs = 0; // the tick counter without its wraps
    // The clocks at the last pass that trusted the wall clock.
    std::optional<platform::DateTimeMs> m_trustedWall;
    std::int64_t m_trustedMonotonicMs = 0;
    bool m_confirmPending = false;
    bool m_vouched = false; // the operator confirmed the date in this run
};

} // namespace monitor
