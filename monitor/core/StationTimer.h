// A window timer as the station's logic sees it: on or off, with an interval.
// The logic classes (dispatcher, GPS forwarding, alarm) switch their timers
// through this interface and expose their tick handlers as plain functions;
// the window connects a QTimer to each handler, and tests call the handlers
// themselves, tick by tick, with a ManualTimer in place of the QTimer.
#pragma once

#include <chrono>

namespace monitor {

class StationTimer
{
public:
    virtual ~StationTimer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual std::chrono::milliseconds interval() const = 0;
};

} // namespace monitor
