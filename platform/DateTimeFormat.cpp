#include "DateTimeFormat.h"

#include <cstdio>

namespace platform {

namespace {

constexpr char kDateSeparator = '/';
constexpr char kTimeSeparator = ':';

void appendNumber(std::string& out, int value, int digits)
{
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    if (n > 0)
        out.append(buffer, static_cast<std::size_t>(n));
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string formatDateTime(std::string_view pattern, const LocalTime& t)
{
    std::string out;
    out.reserve(pattern.size() + 8);
    char lastToken = 0;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '"') {
            const std::size_t end = pattern.find('"', i + 1);
            const std::size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop == pattern.size() ? stop : stop + 1;
            continue;
        }
        const char token = lower(c);
        std::size_t run = 1;
        while (i + run < pattern.size() && lower(pattern[i + run]) == token)
            ++run;
        switch (token) {
        case 'y':
            if (run >= 3)
                appendNumber(out, t.year, 4);
            else
                appendNumber(out, t.year % 100, 2);
            break;
        case 'm':
            if (lastToken == 'h')
                appendNumber(out, t.minute, run >= 2 ? 2 : 1);
            else
                appendNumber(out, t.month, run >= 2 ? 2 : 1);
            break;
        case 'n':
            appendNumber(out, t.minute, run >= 2 ? 2 : 1);
            break;
        case 'd':
            appendNumber(out, t.day, run >= 2 ? 2 : 1);
            break;
        case 'h':
            appendNumber(out, t.hour, run >= 2 ? 2 : 1);
            break;
        case 's':
            appendNumber(out, t.second, run >= 2 ? 2 : 1);
            break;
        case '/':
            out.append(run, kDateSeparator);
            break;
        case ':':
            out.append(run, kTimeSeparator);
            break;
        default:
            out.append(run, c);
            break;
        }
        if (token >= 'a' && token <= 'z')
            lastToken = token;
        i += run;
    }
    return out;
}

} // namespace platform
