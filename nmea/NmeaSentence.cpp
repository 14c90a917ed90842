#include "NmeaSentence.h"

#include "HexDigit.h"

namespace monitor {

namespace {

constexpr std::uint8_t kStart = '$';
constexpr std::uint8_t kOtherStart = '!'; // starts encapsulated sentences
constexpr std::uint8_t kChecksumMark = '*';
constexpr std::size_t kLineEndLength = 2; // CR LF
constexpr std::size_t kChecksumDigits = 2;
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;

bool isBodyByte(std::uint8_t c)
{
    return c >= kFirstPrintable && c <= kLastPrintable && c != kStart && c != kOtherStart &&
           c != kChecksumMark;
}

} // namespace

std::uint8_t nmeaChecksum(std::span<const std::uint8_t> body)
{
    std::uint8_t sum = 0;
    for (std::uint8_t c : body)
        sum ^= c;
    return sum;
}

bool isWellFormedNmeaSentence(std::span<const std::uint8_t> sentence)
{
    if (sentence.empty() || sentence.size() + kLineEndLength > kMaxNmeaSentenceLength ||
        sentence[0] != kStart)
        return false;
    std::size_t end = 1;
    while (end < sentence.size() && isBodyByte(sentence[end]))
        ++end;
    const std::span<const std::uint8_t> body = sentence.subspan(1, end - 1);
    if (body.empty())
        return false;
    if (end == sentence.size())
        return true; // no checksum
    if (sentence[end] != kChecksumMark || sentence.size() - end - 1 != kChecksumDigits)
        return false;
    const int high = hexValue(sentence[end + 1]);
    const int low = hexValue(sentence[end + 2]);
    return high >= 0 && low >= 0 && nmeaChecksum(body) == high * 16 + low;
}

} // namespace monitor
