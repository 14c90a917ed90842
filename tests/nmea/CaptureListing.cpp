#include "CaptureListing.h"

#include "NmeaSentence.h"

#include <cstdio>
#include <optional>

namespace nmeatest {

namespace {

constexpr std::size_t kNumberText = 32;
constexpr int kDegreeDecimals = 7; // about a centimetre
constexpr int kSpeedDecimals = 3;
constexpr int kCourseDecimals = 2;

std::string shown(const std::optional<double>& value, int decimals)
{
    if (!value)
        return "-";
    char text[kNumberText];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

std::string listed(std::string_view sentence)
{
    const nmea::SentenceFault fault = nmea::sentenceFault(sentence);
    if (fault != nmea::SentenceFault::None)
        return "refused: " + std::string(nmea::faultText(fault));
    std::string line(sentence.substr(1, sentence.find_first_of(",*") - 1));
    const nmea::RmcFields fields = nmea::parseRmc(sentence);
    if (fields.isRmc)
        line += ' ' + fieldsText(fields);
    return line;
}

} // namespace

std::string fieldsText(const nmea::RmcFields& f)
{
    if (!f.isRmc)
        return "not RMC";
    std::string text = f.valid ? "A " : "V ";
    if (f.year && f.month && f.day) {
        char date[kNumberText];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", *f.year, *f.month, *f.day);
        text += date;
    } else {
        text += '-';
    }
    text += ' ';
    if (f.hour && f.minute && f.second) {
        char time[kNumberText];
        std::snprintf(time, sizeof time, "%02d:%02d:%06.3f", *f.hour, *f.minute, *f.second);
        text += time;
    } else {
        text += '-';
    }
    return text + ' ' + shown(f.latitude, kDegreeDecimals) + ' ' +
           shown(f.longitude, kDegreeDecimals) + ' ' + shown(f.speedKnots, kSpeedDecimals) + ' ' +
           shown(f.courseDegrees, kCourseDecimals);
}

std::string captureListing(std::string_view capture)
{
    std::string listing;
    int number = 0;
    while (!capture.empty()) {
        const std::size_t end = capture.find('\n');
        std::string_view line = capture.substr(0, end);
        capture = end == std::string_view::npos ? std::string_view() : capture.substr(end + 1);
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty() || line.starts_with('#'))
            continue;
        listing += std::to_string(number) + ' ' + listed(line) + '\n';
    }
    return listing;
}

std::string withoutComments(std::string_view golden)
{
    std::string text;
    while (!golden.empty()) {
        const std::size_t end = golden.find('\n');
        const std::string_view line = golden.substr(0, end);
        golden = end == std::string_view::npos ? std::string_view() : golden.substr(end + 1);
        if (!line.starts_with('#'))
            text.append(line).push_back('\n');
    }
    return text;
}

} // namespace nmeatest
