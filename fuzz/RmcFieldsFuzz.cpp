// A recorder's archived position text as the archive's reader parses it, and a
// log line as the simulator redates it: any bytes, never a crash or an
// exception; every field parsed lies in its range; a redated line carries a
// checksum that matches.
#include "FuzzCheck.h"
#include "NmeaChecksum.h"
#include "RmcFields.h"
#include "RmcLog.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr double kMaxLatitude = 90;
constexpr double kMaxLongitude = 180;
constexpr double kFullCircle = 360;
constexpr double kSecondsUpTo = 61; // a leap second's 60.x included

bool within(const std::optional<double>& value, double low, double high)
{
    return !value || (*value >= low && *value <= high);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace std::chrono;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const nmea::RmcFields f = nmea::parseRmc(text);
    FUZZ_CHECK(f.latitude.has_value() == f.longitude.has_value());
    FUZZ_CHECK(within(f.latitude, -kMaxLatitude, kMaxLatitude));
    FUZZ_CHECK(within(f.longitude, -kMaxLongitude, kMaxLongitude));
    FUZZ_CHECK(!f.speedKnots || (*f.speedKnots >= 0 && std::isfinite(*f.speedKnots)));
    FUZZ_CHECK(within(f.courseDegrees, 0, kFullCircle));
    FUZZ_CHECK(!f.second || (*f.second >= 0 && *f.second < kSecondsUpTo));
    FUZZ_CHECK(!f.hour || (*f.hour < 24 && *f.minute < 60));
    FUZZ_CHECK(!f.month || (*f.month >= 1 && *f.month <= 12 && *f.day >= 1 && *f.day <= 31));
    FUZZ_CHECK(f.isRmc || (!f.valid && !f.hasPlace() && !f.hour && !f.year && !f.speedKnots));

    const sys_time<milliseconds> when = sys_days{2026y / December / 8} + 14h + 3min + 7s + 250ms;
    const std::string sent = nmea::redatedRmc(text, when);
    FUZZ_CHECK(sent == text || nmea::hasValidNmeaChecksum(sent));
    return 0;
}
