// A StationTimer over a QTimer that the window owns. The window connects the
// QTimer's timeout to the logic's tick handler.
#pragma once

#include "StationTimer.h"

#include <QTimer>

namespace monitor {

class QtStationTimer final : public StationTimer
{
public:
    explicit QtStationTimer(QTimer& timer) : m_timer(timer) {}

    void setEnabled(bool enabled) override
    {
        if (enabled)
            m_timer.start();
        else
            m_timer.stop();
    }
    bool enabled() const override { return m_timer.isActive(); }
    void setInterval(std::chrono::milliseconds interval) override { m_timer.setInterval(interval); }
    std::chrono::milliseconds interval() const override { return m_timer.intervalAsDuration(); }

private:
    QTimer& m_timer;
};

} // namespace monitor
