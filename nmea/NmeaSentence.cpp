#include "NmeaSentence.h"

#include "NmeaChecksum.h"

namespace nmea {

namespace {

constexpr std::uint8_t kStart = '$';
constexpr std::uint8_t kOtherStart = '!'; // starts encapsulated sentences
constexpr std::uint8_t kChecksumMark = '*';
constexpr std::size_t kLineEndLength = 2; // CR LF
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;

bool isBodyByte(std::uint8_t c)
{
    return c >= kFirstPrintable && c <= kLastPrintable && c != kStart && c != kOtherStart &&
           c != kChecksumMark;
}

std::string_view asText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

SentenceFault sentenceFault(std::span<const std::uint8_t> sentence)
{
    if (sentence.empty() || sentence[0] != kStart)
        return SentenceFault::NoStart;
    if (sentence.size() + kLineEndLength > kMaxNmeaSentenceLength)
        return SentenceFault::TooLong;
    std::size_t end = 1;
    while (end < sentence.size() && isBodyByte(sentence[end]))
        ++end;
    const std::span<const std::uint8_t> body = sentence.subspan(1, end - 1);
    if (end == sentence.size())
        return body.empty() ? SentenceFault::NoBody : SentenceFault::None; // no checksum
    if (sentence[end] != kChecksumMark)
        return SentenceFault::ForbiddenByte;
    if (body.empty())
        return SentenceFault::NoBody;
    const auto carried = checksumFieldValue(asText(sentence.subspan(end + 1)));
    if (!carried)
        return SentenceFault::BadChecksumField;
    return *carried == nmeaChecksum(body) ? SentenceFault::None : SentenceFault::ChecksumMismatch;
}

std::string_view faultText(SentenceFault fault)
{
    switch (fault) {
    case SentenceFault::None:
        return "well-formed";
    case SentenceFault::NoStart:
        return "does not start with \"$\"";
    case SentenceFault::TooLong:
        return "longer than 82 characters with CR LF";
    case SentenceFault::NoBody:
        return "nothing after \"$\"";
    case SentenceFault::ForbiddenByte:
        return "a byte that is not printable ASCII, or a second \"$\" or \"!\"";
    case SentenceFault::BadChecksumField:
        return "\"*\" not followed by two hex digits alone";
    case SentenceFault::ChecksumMismatch:
        return "checksum does not match";
    }
    return "unknown fault";
}

} // namespace nmea
