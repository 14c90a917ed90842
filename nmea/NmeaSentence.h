// Whether a recorder's position text is one well-formed NMEA sentence, fit to
// go to the virtual GPS port. Navigation software takes whatever lines reach
// the port, so a text that holds a line break (and so a second, forged
// sentence), bytes that are not printable ASCII, a wrong checksum or more than
// a sentence's length must not reach it.
//
// A well-formed sentence, as the text before its line end:
//   "$" then printable ASCII (0x20..0x7E) without another "$", "!" or "*",
//   optionally "*" and two hex digits (either case) that are the XOR of every
//   byte between "$" and "*", and nothing after them;
//   at most kMaxNmeaSentenceLength bytes together with the CR LF it is sent with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace monitor {

// The longest sentence NMEA 0183 allows, its CR LF included.
inline constexpr std::size_t kMaxNmeaSentenceLength = 82;

// XOR of the bytes (the sentence's body, between "$" and "*").
std::uint8_t nmeaChecksum(std::span<const std::uint8_t> body);

// The sentence without its line end.
bool isWellFormedNmeaSentence(std::span<const std::uint8_t> sentence);

inline bool isWellFormedNmeaSentence(std::string_view sentence)
{
    return isWellFormedNmeaSentence(
        {reinterpret_cast<const std::uint8_t*>(sentence.data()), sentence.size()});
}

} // namespace monitor
