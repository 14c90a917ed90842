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

namespace nmea {

// The longest sentence NMEA 0183 allows, its CR LF included.
inline constexpr std::size_t kMaxNmeaSentenceLength = 82;

// Why a text is not a well-formed sentence; the first rule it breaks.
enum class SentenceFault
{
    None,
    NoStart,          // empty, or not starting with "$"
    TooLong,          // more than kMaxNmeaSentenceLength bytes with CR LF
    NoBody,           // nothing between "$" and the end or "*"
    ForbiddenByte,    // not printable ASCII, or a second "$" or "!"
    BadChecksumField, // "*" not followed by exactly two hex digits
    ChecksumMismatch, // two hex digits that are not the body's checksum
};

// The sentence without its line end.
SentenceFault sentenceFault(std::span<const std::uint8_t> sentence);

// The fault in a few words, for logs and listings.
std::string_view faultText(SentenceFault fault);

inline SentenceFault sentenceFault(std::string_view sentence)
{
    return sentenceFault({reinterpret_cast<const std::uint8_t*>(sentence.data()), sentence.size()});
}

inline bool isWellFormedNmeaSentence(std::span<const std::uint8_t> sentence)
{
    return sentenceFault(sentence) == SentenceFault::None;
}

inline bool isWellFormedNmeaSentence(std::string_view sentence)
{
    return sentenceFault(sentence) == SentenceFault::None;
}

} // namespace nmea
