// The one NMEA checksum: the XOR of every byte between "$" and "*", written
// after the "*" as two hex digits. Every check and every builder of the module
// goes through these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nmea {

// XOR of the bytes of body (the text between "$" and "*", neither included).
std::uint8_t nmeaChecksum(std::span<const std::uint8_t> body);

inline std::uint8_t nmeaChecksum(std::string_view body)
{
    return nmeaChecksum({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()});
}

// The value of a checksum field: exactly two hex digits (either case).
std::optional<std::uint8_t> checksumFieldValue(std::string_view digits);

// True when digits is two hex digits (either case) that give body's checksum.
bool checksumDigitsMatch(std::string_view body, std::string_view digits);

// Appends "*" and the checksum, two upper-case hex digits, of the sentence
// that starts with its "$" at out[sentenceStart].
void appendNmeaChecksum(std::string& out, std::size_t sentenceStart);

// True when sentence is "$" body "*" and two hex digits (either case) that match
// the body's checksum, with nothing after them.
bool hasValidNmeaChecksum(std::string_view sentence);

} // namespace nmea
