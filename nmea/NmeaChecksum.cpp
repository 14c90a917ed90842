#include "NmeaChecksum.h"

#include "HexDigit.h"

namespace nmea {

namespace {

constexpr std::size_t kChecksumDigits = 2;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0x0F;

} // namespace

std::uint8_t nmeaChecksum(std::span<const std::uint8_t> body)
{
    std::uint8_t sum = 0;
    for (std::uint8_t c : body)
        sum ^= c;
    return sum;
}

std::optional<std::uint8_t> checksumFieldValue(std::string_view digits)
{
    if (digits.size() != kChecksumDigits)
        return std::nullopt;
    const int high = hexValue(digits[0]);
    const int low = hexValue(digits[1]);
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<std::uint8_t>((high << kNibbleBits) | low);
}

bool checksumDigitsMatch(std::string_view body, std::string_view digits)
{
    const auto carried = checksumFieldValue(digits);
    return carried && *carried == nmeaChecksum(body);
}

void appendNmeaChecksum(std::string& out, std::size_t sentenceStart)
{
    const std::uint8_t sum = nmeaChecksum(std::string_view(out).substr(sentenceStart + 1));
    out += '*';
    out += kHexDigits[sum >> kNibbleBits];
    out += kHexDigits[sum & kNibbleMask];
}

bool hasValidNmeaChecksum(std::string_view sentence)
{
    if (sentence.empty() || sentence.front() != '$')
        return false;
    const std::size_t star = sentence.rfind('*');
    if (star == std::string_view::npos)
        return false;
    return checksumDigitsMatch(sentence.substr(1, star - 1), sentence.substr(star + 1));
}

} // namespace nmea
