#include "RmcFields.h"

#include "NmeaChecksum.h"
#include "NmeaFields.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace nmea {

namespace {

enum RmcField
{
    kTime = 1,
    kStatus,
    kLatitude,
    kNorthSouth,
    kLongitude,
    kEastWest,
    kSpeed,
    kCourse,
    kDate,
    kFieldCount // fields up to the date; later ones are optional
};

std::optional<double> number(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // "nan" and "inf" parse too, and a NaN passes every range check below.
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> digits(std::string_view text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return text.empty() ? std::nullopt : std::optional<int>(value);
}

// "ddmm.mmmm" (latitude, two degree digits) or "dddmm.mmmm" (longitude).
std::optional<double> degrees(std::string_view text, std::size_t degreeDigits,
                              std::string_view hemisphere, char negative, char positive,
                              double limit)
{
    if (text.size() < degreeDigits + 2 || hemisphere.size() != 1)
        return std::nullopt;
    const auto whole = digits(text.substr(0, degreeDigits));
    const auto minutes = number(text.substr(degreeDigits));
    if (!whole || !minutes || *minutes < 0 || *minutes >= 60)
        return std::nullopt;
    const double value = *whole + *minutes / 60.0;
    if (value > limit)
        return std::nullopt;
    if (hemisphere[0] == negative)
        return -value;
    if (hemisphere[0] == positive)
        return value;
    return std::nullopt;
}

} // namespace

RmcFields parseRmc(std::string_view sentence)
{
    RmcFields fields;
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r'))
        sentence.remove_suffix(1);
    if (sentence.size() < 6 || sentence[0] != '$' || sentence.substr(3, 3) != "RMC")
        return fields;
    std::string_view body = sentence.substr(1);
    if (const auto star = body.find('*'); star != std::string_view::npos) {
        if (!checksumDigitsMatch(body.substr(0, star), body.substr(star + 1)))
            return fields;
        body = body.substr(0, star);
    }
    const std::vector<std::string_view> f = sentenceFields(body);
    if (f.size() < kFieldCount)
        return fields;
    fields.isRmc = true;
    fields.valid = f[kStatus] == "A";

    const std::string_view time = f[kTime];
    if (time.size() >= 6) {
        const auto h = digits(time.substr(0, 2));
        const auto m = digits(time.substr(2, 2));
        const auto s = number(time.substr(4));
        if (h && m && s && *h < 24 && *m < 60 && *s >= 0 && *s < 61) {
            fields.hour = h;
            fields.minute = m;
            fields.second = s;
        }
    }
    const std::string_view date = f[kDate];
    if (date.size() == 6) {
        const auto d = digits(date.substr(0, 2));
        const auto mo = digits(date.substr(2, 2));
        const auto y = digits(date.substr(4, 2));
        if (d && mo && y && *d >= 1 && *d <= 31 && *mo >= 1 && *mo <= 12) {
            fields.day = d;
            fields.month = mo;
            fields.year = 2000 + *y;
        }
    }
    const auto latitude = degrees(f[kLatitude], 2, f[kNorthSouth], 'S', 'N', 90);
    const auto longitude = degrees(f[kLongitude], 3, f[kEastWest], 'W', 'E', 180);
    if (latitude && longitude) {
        fields.latitude = latitude;
        fields.longitude = longitude;
    }
    if (const auto speed = number(f[kSpeed]); speed && *speed >= 0)
        fields.speedKnots = speed;
    if (const auto course = number(f[kCourse]); course && *course >= 0 && *course <= 360)
        fields.courseDegrees = course;
    return fields;
}

} // namespace nmea
