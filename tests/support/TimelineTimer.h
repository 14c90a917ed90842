// Timers that fire on a clock the test moves by hand, the way the window's
// QTimers fire on the real one: switching a timer on (again) starts a fresh
// interval, and each time the clock reaches a running timer's moment its
// handler runs and, while the timer stays on, the next interval begins. With
// them a test checks that something happens at its interval and not a
// millisecond before, without waiting for it.
#pragma once

#include "StationTimer.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <vector>

namespace testsupport {

class TimelineTimer;

class ManualTimeline
{
public:
    std::chrono::milliseconds now() const { return m_now; }
    // Moves the clock on by step; every timer whose moment comes on the way
    // runs its handler then, in time order (timers due at the same moment in
    // the order they were made).
    void advance(std::chrono::milliseconds step);

private:
    friend class TimelineTimer;
    std::chrono::milliseconds m_now{0};
    std::vector<TimelineTimer*> m_timers; // not owned; each removes itself
};

class TimelineTimer final : public monitor::StationTimer
{
public:
    explicit TimelineTimer(ManualTimeline& timeline) : m_timeline(timeline)
    {
        m_timeline.m_timers.push_back(this);
    }
    ~TimelineTimer() override { std::erase(m_timeline.m_timers, this); }
    TimelineTimer(const TimelineTimer&) = delete;
    TimelineTimer& operator=(const TimelineTimer&) = delete;

    void onTimeout(std::function<void()> handler) { m_handler = std::move(handler); }

    void setEnabled(bool enabled) override
    {
        m_enabled = enabled;
        m_due = m_timeline.now() + m_interval;
    }
    bool enabled() const override { return m_enabled; }
    // As with a QTimer, a new interval restarts a running timer.
    void setInterval(std::chrono::milliseconds interval) override
    {
        m_interval = interval;
        m_due = m_timeline.now() + m_interval;
    }
    std::chrono::milliseconds interval() const override { return m_interval; }

private:
    friend class ManualTimeline;
    ManualTimeline& m_timeline;
    std::function<void()> m_handler;
    bool m_enabled = false;
    std::chrono::milliseconds m_interval{0};
    std::chrono::milliseconds m_due{0};
};

inline void ManualTimeline::advance(std::chrono::milliseconds step)
{
    const std::chrono::milliseconds end = m_now + step;
    for (;;) {
        TimelineTimer* next = nullptr;
        for (TimelineTimer* t : m_timers)
            if (t->m_enabled && t->m_due <= end && (!next || t->m_due < next->m_due))
                next = t;
        if (!next)
            break;
        if (next->m_interval <= std::chrono::milliseconds(0))
            throw std::logic_error("a running timeline timer needs an interval");
        m_now = next->m_due;
        next->m_due = m_now + next->m_interval;
        if (next->m_handler)
            next->m_handler();
    }
    m_now = end;
}

} // namespace testsupport
