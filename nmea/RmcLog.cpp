#include "RmcLog.h"

#include "NmeaChecksum.h"
#include "NmeaFields.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace nmea {

namespace {

// Talker "GP" (GPS alone) or "GN" (several satellite systems combined).
constexpr std::array<std::string_view, 2> kRmcStarts = {"$GPRMC,", "$GNRMC,"};

bool isRmc(std::string_view line)
{
    for (const std::string_view start : kRmcStarts)
        if (line.starts_with(start))
            return true;
    return false;
}

// Fields of an RMC sentence, counted from the sentence name as 0.
constexpr std::size_t kTimeField = 1;
constexpr std::size_t kDateField = 9;

std::string twoDigits(long long value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02lld", value % 100);
    return text;
}

} // namespace

std::string redatedRmc(std::string_view sentence,
                       std::chrono::sys_time<std::chrono::milliseconds> when)
{
    using namespace std::chrono;
    if (sentence.empty() || sentence.front() != '$')
        return std::string(sentence);
    const std::size_t star = sentence.find('*');
    const std::string_view body =
        sentence.substr(1, star == std::string_view::npos ? star : star - 1);
    const std::vector<std::string_view> parts = sentenceFields(body);
    std::vector<std::string> fields(parts.begin(), parts.end());
    if (fields.size() <= kDateField)
        return std::string(sentence);

    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{when - day};
    const std::size_t dot = fields[kTimeField].find('.');
    const std::size_t decimals =
        dot == std::string::npos ? 0
                                 : std::min<std::size_t>(fields[kTimeField].size() - dot - 1, 3);
    std::string clock = twoDigits(time.hours().count()) + twoDigits(time.minutes().count()) +
                        twoDigits(time.seconds().count());
    if (dot != std::string::npos) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%03lld",
                      static_cast<long long>(time.subseconds().count()));
        clock += '.';
        clock.append(fraction, decimals);
    }
    fields[kTimeField] = clock;
    fields[kDateField] = twoDigits(static_cast<unsigned>(date.day())) +
                         twoDigits(static_cast<unsigned>(date.month())) +
                         twoDigits(static_cast<int>(date.year()));

    std::string out = "$";
    for (std::size_t i = 0; i < fields.size(); ++i)
        out.append(i == 0 ? "" : ",").append(fields[i]);
    appendNmeaChecksum(out, 0);
    return out;
}

std::vector<std::string> rmcSentencesOf(std::string_view log)
{
    std::vector<std::string> sentences;
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        std::string_view line = log.substr(0, end);
        log = end == std::string_view::npos ? std::string_view() : log.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (isRmc(line))
            sentences.emplace_back(line);
    }
    return sentences;
}

} // namespace nmea
