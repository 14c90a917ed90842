// Formats a local time by the station's pattern rules.
//
// "yyyy" year, "mm" month (minutes when the latest letter token was "hh"),
// "nn" minutes, "dd" day, "hh" hours 00..23, "ss" seconds; "/" and ":" stand for
// the system's date and time separators, which are "/" and ":"; text between
// double quotes is copied as it stands; every other character is copied.
#pragma once

#include "LocalTime.h"

#include <string>
#include <string_view>

namespace platform {

std::string formatDateTime(std::string_view pattern, const LocalTime& time);

// The 19-character event time text, "yyyy/mm/dd hh:mm:ss".
inline constexpr std::string_view kEventTimePattern = "yyyy/mm/dd hh:mm:ss";

} // namespace platform
