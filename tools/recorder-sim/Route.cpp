#include "Route.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace recorder {

namespace {

constexpr double kMinutesPerDegree = 60.0; // one nautical mile per minute of latitude
constexpr double kSecondsPerHour = 3600.0;
constexpr double kMaxLatitude = 89.0;

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

double wrapLongitude(double degrees)
{
    while (degrees > 180.0)
        degrees -= 360.0;
    while (degrees < -180.0)
        degrees += 360.0;
    return degrees;
}

} // namespace

Route::Route(const RouteStart& start) : m_start(start), m_current(start.first) {}

nmea::RmcFix Route::next()
{
    const nmea::RmcFix fix = m_current;
    const double hours = std::chrono::duration<double>(m_start.step).count() / kSecondsPerHour;
    const double miles = fix.speedKnots * hours;
    const double course = radians(fix.courseDeg);
    m_current.latitudeDeg =
        std::clamp(fix.latitudeDeg + miles * std::cos(course) / kMinutesPerDegree, -kMaxLatitude,
                   kMaxLatitude);
    m_current.longitudeDeg = wrapLongitude(
        fix.longitudeDeg +
        miles * std::sin(course) / (kMinutesPerDegree * std::cos(radians(fix.latitudeDeg))));
    m_current.courseDeg = std::fmod(fix.courseDeg + m_start.turnDegPerStep + 360.0, 360.0);
    m_current.time = fix.time + m_start.step;
    return fix;
}

} // namespace recorder
