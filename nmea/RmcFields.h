// The fields of an RMC sentence ("$GPRMC", "$GNRMC", any talker) that the
// archive's exports and its browser use.
#pragma once

#include <optional>
#include <string_view>

namespace nmea {

struct RmcFields
{
    bool isRmc = false; // an RMC sentence with a valid checksum (when it has one)
    bool valid = false; // status "A": the receiver had a fix
    // UTC from the sentence; none when the field is empty or malformed.
    std::optional<int> hour, minute;
    std::optional<double> second;
    std::optional<int> year, month, day; // year with its century (two digits: 20yy)
    std::optional<double> latitude;      // degrees, north positive
    std::optional<double> longitude;     // degrees, east positive
    std::optional<double> speedKnots;
    std::optional<double> courseDegrees;

    bool hasPlace() const { return latitude && longitude; }
    bool hasUtc() const { return hour && minute && second && year && month && day; }
};

// The fields of one sentence (its line end may be present or not).
RmcFields parseRmc(std::string_view sentence);

} // namespace nmea
