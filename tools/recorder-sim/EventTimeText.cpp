#include "EventTimeText.h"

#include <algorithm>
#include <cstdio>

namespace recorder {

namespace {
constexpr std::size_t kTextBuffer = 48;
}

void appendEventTimeText(std::string& out, std::chrono::sys_time<std::chrono::milliseconds> time,
                         unsigned eventNumber)
{
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{floor<seconds>(time - day)};
    char buffer[kTextBuffer];
    const int n = std::snprintf(
        buffer, sizeof buffer, "%04d/%02u/%02u %02d:%02d:%02d,%u", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), eventNumber);
    if (n > 0)
        out.append(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

} // namespace recorder
