// The date of a day of the archive, as its day folder names it. The day
// folder's relative path "yyyy/mm/dd" is made here and nowhere else.
#pragma once

#include "LocalTime.h"

#include <optional>
#include <string>
#include <string_view>
// After <optional>: Qt's moc, reading the browser's headers, cannot parse
// <compare> when it comes first.
#include <compare>

namespace archive {

struct Date
{
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const Date&) const = default;
};

// The date part of a local time.
Date dateOf(const platform::LocalTime& time);

// A year 1 to 9999, a month 1 to 12 and a day that exists in that month.
bool isValidDate(const Date& date);

// "2026-12-08"; none for anything else (or a date that does not exist).
std::optional<Date> parseDate(std::string_view text);
std::string formatDate(const Date& date);

// A run of one to nine decimal digits (it fits an int) as a number; none
// for anything else. The one reader of the numbers in the archive's names.
std::optional<int> decimalDigits(std::string_view text);

// The day folder's relative path, "2026/12/08": four digits of the year, two
// of the month and of the day.
std::string dayFolderName(const Date& date);

} // namespace archive
