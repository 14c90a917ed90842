// A StationTimer that only records its state: the test calls the tick handler.
#pragma once

#include "StationTimer.h"

namespace testsupport {

class ManualTimer final : public monitor::StationTimer
{
public:
    explicit ManualTimer(std::chrono::milliseconds interval = std::chrono::milliseconds(0),
                         bool enabled = false)
        : m_interval(interval), m_enabled(enabled)
    {
    }

    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool enabled() const override { return m_enabled; }
    void setInterval(std::chrono::milliseconds interval) override { m_interval = interval; }
    std::chrono::milliseconds interval() const override { return m_interval; }

private:
    std::chrono::milliseconds m_interval;
    bool m_enabled;
};

} // namespace testsupport
