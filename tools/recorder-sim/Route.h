// A simulated drive: successive position fixes at a steady speed on a slowly
// turning course, one per step of time, so that a map shows a smooth loop.
#pragma once

#include "RmcSentence.h"

#include <chrono>

namespace recorder {

struct RouteStart
{
    nmea::RmcFix first;                   // position, speed, course and time of fix 0
    std::chrono::milliseconds step{1000}; // time between fixes
    double turnDegPerStep = 2.0;          // course change between fixes
};

class Route
{
public:
    explicit Route(const RouteStart& start);

    // The fix of the current step; advances to the next step.
    nmea::RmcFix next();

private:
    RouteStart m_start;
    nmea::RmcFix m_current;
};

} // namespace recorder
