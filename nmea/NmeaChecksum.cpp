#include "NmeaChecksum.h"

#include "HexDigit.h"

namespace recorder {

namespace {

constexpr std::size_t kChecksumDigits = 2;

} // namespace

std::uint8_t nmeaChecksum(std::string_view body)
{
    std::uint8_t sum = 0;
    for (char c : body)
        sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    return sum;
}

bool hasValidNmeaChecksum(std::string_view sentence)
{
    if (sentence.empty() || sentence.front() != '$')
        return false;
    const std::size_t star = sentence.rfind('*');
    if (star == std::string_view::npos || sentence.size() - star - 1 != kChecksumDigits)
        return false;
    const int high = hexValue(sentence[star + 1]);
    const int low = hexValue(sentence[star + 2]);
    if (high < 0 || low < 0)
        return false;
    return nmeaChecksum(sentence.substr(1, star - 1)) == high * 16 + low;
}

} // namespace recorder
