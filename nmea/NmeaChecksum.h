// The one NMEA checksum: the XOR of every character between '$' and '*'.
#pragma once

#include <cstdint>
#include <string_view>

namespace recorder {

// XOR of the characters of body (the text between '$' and '*', neither included).
std::uint8_t nmeaChecksum(std::string_view body);

// True when sentence is "$" body "*" and two hex digits (either case) that match
// the body's checksum, with nothing after them.
bool hasValidNmeaChecksum(std::string_view sentence);

} // namespace recorder
