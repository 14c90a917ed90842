// The station's clocks behind one small interface: the local date and time, and
// the millisecond tick counter that wraps at 2^32. Code that keeps time takes a
// Clock, so that tests can run midnight, a day's wrap or a 49-day counter wrap
// without waiting for them.
#pragma once

#include "LocalTime.h"

#include <cstdint>

namespace platform {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    virtual std::uint32_t tickCount() const = 0;
};

// The system's clocks (localNow() and tickCount()). Lives for the whole process.
Clock& systemClock();

} // namespace platform
