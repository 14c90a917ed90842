#include "ArchiveNames.h"

#include "DateTimeFormat.h"
#include "HexDigit.h"
#include "Paths.h"
#include "Sha256.h"
#include "TextCodec.h"

#include <algorithm>
#include <array>
#include <optional>

namespace archive {

namespace {

constexpr std::string_view kTimePattern = "hhnnss";
constexpr std::size_t kTimeDigits = 6; // what kTimePattern makes
constexpr std::string_view kPositionExtension = ".bin";
constexpr std::string_view kClipExtension = ".mov";
constexpr std::string_view kChannelInfix = "_CH_";
// '_' sorts after '.', so that a later file of the same second comes after
// the first in byte order (143005.bin, 143005_2.bin).
constexpr char kSameSecondMark = '_';
// What earlier versions of the station wrote instead (143005-2.bin,
// 143005_CH_2-2.mov); read, never written.
constexpr char kOlderSameSecondMark = '-';
constexpr std::array<char, 3> kSameSecondMarks = {kSameSecondMark, kOlderSameSecondMark, '\0'};
constexpr std::string_view kAllChannels = "ALL";
constexpr char kFirstChannel = '1';
constexpr char kLastChannel = '4';
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

constexpr char kEscape = '%';
constexpr char kDot = '.';
constexpr std::string_view kEscapedDot = "%2E";
constexpr std::string_view kEmptyKeyFolder = "%00";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kLowerHexDigits = "0123456789abcdef";
constexpr std::size_t kEscapeLength = 3; // "%" and two hex digits
// A shortened name: the front of the name, this mark, then the hash.
constexpr std::string_view kShortenedMark = "%00";
constexpr std::size_t kShortenedHashBytes = 16; // 32 hex digits

// The undefined Windows-1252 bytes, which become C1 controls in UTF-8.
constexpr std::array<unsigned char, 5> kC1Bytes = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

// Bytes that would put line breaks, terminal escapes or invisible characters
// into a name: C0 controls, DEL and the bytes that become C1 controls.
bool isControl(unsigned char c)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    for (unsigned char b : kC1Bytes)
        if (b == c)
            return true;
    return false;
}

void appendEscaped(std::string& out, unsigned char c)
{
    out.push_back(kEscape);
    out.push_back(kHexDigits[c >> 4]);
    out.push_back(kHexDigits[c & 0x0F]);
}

bool isHexDigit(char c)
{
    return hexValue(c) >= 0;
}

// A "%" that reading back would take for an escape.
bool startsEscape(std::string_view key, std::size_t i)
{
    return key[i] == kEscape && i + 2 < key.size() && isHexDigit(key[i + 1]) &&
           isHexDigit(key[i + 2]);
}

std::string timeName(const platform::LocalTime& time, std::string_view infix,
                     std::string_view channelText, int sameSecondIndex, std::string_view extension)
{
    std::string name = platform::formatDateTime(kTimePattern, time);
    name.append(infix).append(channelText);
    if (sameSecondIndex > 1)
        name.append(1, kSameSecondMark).append(std::to_string(sameSecondIndex));
    name.append(extension);
    return name;
}

} // namespace

std::string dayFolderPath(std::string_view programFolder, const Date& date)
{
    std::string path(programFolder);
    // The name's "/" is the date separator, which is the path separator too.
    static_assert(platform::kPathSeparator == '/');
    path.append(dayFolderName(date)).push_back(platform::kPathSeparator);
    return path;
}

std::string dayFolderPath(std::string_view programFolder, const platform::LocalTime& date)
{
    return dayFolderPath(programFolder, dateOf(date));
}

namespace {

// The escaped name, still Windows-1252.
std::string escapedKey(std::string_view key)
{
    if (key.empty())
        return std::string(kEmptyKeyFolder);
    if (key == "..")
        return std::string(kEscapedDot).append(kEscapedDot);
    std::string escaped;
    escaped.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (c == platform::kPathSeparator || isControl(c) || startsEscape(key, i) ||
            (i == 0 && c == kDot))
            appendEscaped(escaped, c);
        else
            escaped.push_back(key[i]);
    }
    return escaped;
}

// The front of a UTF-8 name, at most `bytes` long, cut neither inside a
// character nor inside an escape.
std::string_view frontOf(std::string_view name, std::size_t bytes)
{
    std::size_t cut = std::min(bytes, name.size());
    const auto isContinuation = [&](std::size_t i) {
        return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
    };
    while (cut > 0 && cut < name.size() && isContinuation(cut))
        --cut;
    for (std::size_t back = 1; back < kEscapeLength && back <= cut; ++back) {
        if (startsEscape(name, cut - back)) {
            cut -= back;
            break;
        }
    }
    return name.substr(0, cut);
}

std::string shortenedName(std::string_view key, std::string_view name, std::size_t maxNameBytes)
{
    const std::size_t tail = kShortenedMark.size() + 2 * kShortenedHashBytes;
    std::string shortened(frontOf(name, maxNameBytes > tail ? maxNameBytes - tail : 0));
    shortened.append(kShortenedMark);
    const Sha256Digest digest =
        sha256({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()});
    for (std::size_t i = 0; i < kShortenedHashBytes; ++i) {
        shortened.push_back(kLowerHexDigits[digest[i] >> 4]);
        shortened.push_back(kLowerHexDigits[digest[i] & 0x0F]);
    }
    return shortened;
}

} // namespace

std::string deviceFolderName(std::string_view key, std::size_t maxNameBytes)
{
    std::string name = platform::windows1252ToUtf8(escapedKey(key));
    if (name.size() <= maxNameBytes)
        return name;
    return shortenedName(key, name, maxNameBytes);
}

std::optional<std::string> deviceFolderKey(std::string_view folderName)
{
    if (folderName == kEmptyKeyFolder)
        return std::string();
    const std::string name = platform::utf8ToWindows1252(folderName);
    std::string key;
    key.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!startsEscape(name, i)) {
            key.push_back(name[i]);
            continue;
        }
        const int byte = hexValue(name[i + 1]) * 16 + hexValue(name[i + 2]);
        if (byte == 0)
            return std::nullopt; // the mark of a shortened name
        key.push_back(static_cast<char>(byte));
        i += kEscapeLength - 1;
    }
    return key;
}

std::string PositionFile(const platform::LocalTime& time, int sameSecondIndex)
{
    return timeName(time, {}, {}, sameSecondIndex, kPositionExtension);
}

std::string ClipFile(const platform::LocalTime& time, std::string_view channelText,
                     int sameSecondIndex)
{
    return timeName(time, kChannelInfix, channelText, sameSecondIndex, kClipExtension);
}

namespace {

// "hhnnss" as seconds since midnight.
std::optional<int> timeOfName(std::string_view text)
{
    if (text.size() != kTimeDigits)
        return std::nullopt;
    const auto h = decimalDigits(text.substr(0, 2));
    const auto m = decimalDigits(text.substr(2, 2));
    const auto s = decimalDigits(text.substr(4, 2));
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59)
        return std::nullopt;
    return *h * kSecondsPerHour + *m * kSecondsPerMinute + *s;
}

// "_N" with N >= 2 and no leading zero, as timeName writes it, or "-N" as
// earlier versions wrote it.
std::optional<int> sameSecondSuffix(std::string_view text)
{
    if (text.size() < 2 || (text[0] != kSameSecondMark && text[0] != kOlderSameSecondMark) ||
        text[1] == '0')
        return std::nullopt;
    const auto n = decimalDigits(text.substr(1));
    if (!n || *n < 2)
        return std::nullopt;
    return n;
}

bool isChannel(std::string_view text)
{
    return text == kAllChannels ||
           (text.size() == 1 && text[0] >= kFirstChannel && text[0] <= kLastChannel);
}

} // namespace

std::optional<PositionName> parsePositionName(std::string_view name)
{
    if (name.size() < kTimeDigits + kPositionExtension.size() ||
        !name.ends_with(kPositionExtension))
        return std::nullopt;
    name.remove_suffix(kPositionExtension.size());
    PositionName parsed;
    const auto time = timeOfName(name.substr(0, kTimeDigits));
    if (!time)
        return std::nullopt;
    parsed.secondOfDay = *time;
    if (name.size() > kTimeDigits) {
        const auto index = sameSecondSuffix(name.substr(kTimeDigits));
        if (!index)
            return std::nullopt;
        parsed.sameSecondIndex = *index;
    }
    return parsed;
}

std::optional<ClipName> parseClipName(std::string_view name)
{
    if (!name.ends_with(kClipExtension) || name.size() < kTimeDigits + kChannelInfix.size())
        return std::nullopt;
    name.remove_suffix(kClipExtension.size());
    const auto time = timeOfName(name.substr(0, kTimeDigits));
    if (!time || name.substr(kTimeDigits, kChannelInfix.size()) != kChannelInfix)
        return std::nullopt;
    ClipName parsed;
    parsed.secondOfDay = *time;
    std::string_view rest = name.substr(kTimeDigits + kChannelInfix.size());
    if (const auto mark = rest.find_first_of(kSameSecondMarks.data());
        mark != std::string_view::npos) {
        const auto index = sameSecondSuffix(rest.substr(mark));
        if (!index)
            return std::nullopt;
        parsed.sameSecondIndex = *index;
        rest = rest.substr(0, mark);
    }
    if (!isChannel(rest))
        return std::nullopt;
    parsed.channel = std::string(rest);
    return parsed;
}

} // namespace archive
