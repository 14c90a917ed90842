// The fields of a sentence: its body (the text between "$" and "*") split at
// every comma. Field 0 is the sentence's name, talker and kind ("GPRMC").
#pragma once

#include <string_view>
#include <vector>

namespace nmea {

// At least one field; an empty field between two commas is an empty view.
std::vector<std::string_view> sentenceFields(std::string_view body);

} // namespace nmea
