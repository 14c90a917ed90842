#include "ArchiveDate.h"

#include "DateTime.h"

#include <array>
#include <cstdio>

namespace archive {

namespace {

// Room for any int year, month and day with their separators.
constexpr std::size_t kDateTextBytes = 40;

// Exactly `count` decimal digits, as a number; none otherwise.
std::optional<int> fixedDigits(std::string_view text, std::size_t count)
{
    if (text.size() != count)
        return std::nullopt;
    return decimalDigits(text);
}

} // namespace

std::optional<int> decimalDigits(std::string_view text)
{
    constexpr std::size_t kMaxDigits = 9; // fits an int
    if (text.empty() || text.size() > kMaxDigits)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

namespace {

std::string joined(const Date& date, char separator)
{
    std::array<char, kDateTextBytes> text{};
    std::snprintf(text.data(), text.size(), "%04d%c%02d%c%02d", date.year, separator, date.month,
                  separator, date.day);
    return text.data();
}

} // namespace

Date dateOf(const platform::LocalTime& time)
{
    return {time.year, time.month, time.day};
}

bool isValidDate(const Date& d)
{
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= platform::daysInMonth(d.year, d.month);
}

std::optional<Date> parseDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto y = fixedDigits(text.substr(0, 4), 4);
    const auto m = fixedDigits(text.substr(5, 2), 2);
    const auto d = fixedDigits(text.substr(8, 2), 2);
    if (!y || !m || !d)
        return std::nullopt;
    const Date date{*y, *m, *d};
    if (!isValidDate(date))
        return std::nullopt;
    return date;
}

std::string formatDate(const Date& date)
{
    return joined(date, '-');
}

std::string dayFolderName(const Date& date)
{
    return joined(date, '/');
}

} // namespace archive
