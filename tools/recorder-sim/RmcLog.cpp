#include "RmcLog.h"

#include <array>

namespace recorder {

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

} // namespace

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

} // namespace recorder
