#include "RmcSentence.h"

#include "NmeaChecksum.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace nmea {

namespace {

// Coordinates go out in minutes with four decimals: 1e-4 minute steps.
constexpr long long kMinuteSteps = 10000;
constexpr long long kStepsPerDegree = 60 * kMinuteSteps;
constexpr double kMaxSpeedKnots = 999.99;
constexpr std::size_t kFieldBuffer = 32;

__attribute__((format(printf, 2, 3))) void appendFormatted(std::string& out, const char* format,
                                                           ...)
{
    char buffer[kFieldBuffer];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        out.append(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// "ddmm.mmmm,N" or "dddmm.mmmm,E": whole degrees, then minutes, rounded once so
// that 59.99999 minutes never shows as "60.0000".
void appendCoordinate(std::string& out, double degrees, int degreeDigits, char positive,
                      char negative)
{
    const long long steps = std::llround(std::fabs(degrees) * static_cast<double>(kStepsPerDegree));
    const long long whole = steps / kStepsPerDegree;
    const long long minuteSteps = steps % kStepsPerDegree;
    appendFormatted(out, "%0*lld%02lld.%04lld,%c", degreeDigits, whole, minuteSteps / kMinuteSteps,
                    minuteSteps % kMinuteSteps, degrees < 0 ? negative : positive);
}

} // namespace

void appendRmcSentence(std::string& out, const RmcFix& fix)
{
    using namespace std::chrono;
    const std::size_t start = out.size();
    const auto day = floor<days>(fix.time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{fix.time - day};

    out += "$GPRMC,";
    appendFormatted(out, "%02d%02d%02d.%03d,", static_cast<int>(clock.hours().count()),
                    static_cast<int>(clock.minutes().count()),
                    static_cast<int>(clock.seconds().count()),
                    static_cast<int>(clock.subseconds().count()));
    out += fix.valid ? "A," : "V,";
    appendCoordinate(out, fix.latitudeDeg, 2, 'N', 'S');
    out += ',';
    appendCoordinate(out, fix.longitudeDeg, 3, 'E', 'W');
    out += ',';
    const double speed = std::clamp(fix.speedKnots, 0.0, kMaxSpeedKnots);
    const double course = std::fmod(std::fmod(fix.courseDeg, 360.0) + 360.0, 360.0);
    appendFormatted(out, "%06.2f,%06.2f,", speed, course >= 359.995 ? 0.0 : course);
    appendFormatted(out, "%02u%02u%02d,,,A", static_cast<unsigned>(date.day()),
                    static_cast<unsigned>(date.month()), static_cast<int>(date.year()) % 100);
    appendNmeaChecksum(out, start);
}

} // namespace nmea
