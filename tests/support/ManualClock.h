// A clock that tests set and advance by hand.
#pragma once

#include "Clock.h"
#include "DateTime.h"

namespace testsupport {

class ManualClock final : public platform::Clock
{
public:
    explicit ManualClock(platform::LocalTime start = {2024, 3, 7, 14, 5, 9, 0},
                         std::uint32_t ticks = 100000)
        : m_now(platform::toDateTimeMs(start)), m_ticks(ticks)
    {
    }

    platform::LocalTime now() const override { return platform::fromDateTimeMs(m_now); }
    std::uint32_t tickCount() const override { return m_ticks; }

    void set(const platform::LocalTime& time) { m_now = platform::toDateTimeMs(time); }
    void setTicks(std::uint32_t ticks) { m_ticks = ticks; }
    // Moves both clocks on by the same number of milliseconds.
    void advance(std::int64_t ms)
    {
        m_now += ms;
        m_ticks += static_cast<std::uint32_t>(ms);
    }

private:
    platform::DateTimeMs m_now;
    std::uint32_t m_ticks;
};

} // namespace testsupport
