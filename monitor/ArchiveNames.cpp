#include "ArchiveNames.h"

#include "DateTimeFormat.h"
#include "Paths.h"
#include "TextCodec.h"

namespace monitor {

namespace {

constexpr std::string_view kDayFolderPattern = "yyyy/mm/dd/";
constexpr std::string_view kTimePattern = "hhnnss";
constexpr std::string_view kPositionExtension = ".bin";
constexpr std::string_view kClipExtension = ".mov";
constexpr std::string_view kChannelInfix = "_CH_";
// '_' sorts after '.', so that a later file of the same second comes after
// the first in byte order (143005.bin, 143005_2.bin).
constexpr char kSameSecondMark = '_';

constexpr char kEscape = '%';
constexpr std::string_view kEscapedSeparator = "%2F";
constexpr std::string_view kEscapedEscape = "%25";
constexpr std::string_view kEscapedDot = "%2E";
constexpr std::string_view kEmptyKeyFolder = "%00";

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
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

std::string dayFolderPath(std::string_view programFolder, const platform::LocalTime& date)
{
    std::string path(programFolder);
    // The pattern's "/" is the date separator, which is the path separator too.
    static_assert(platform::kPathSeparator == '/');
    path.append(platform::formatDateTime(kDayFolderPattern, date));
    return path;
}

std::string deviceFolderName(std::string_view key)
{
    if (key.empty())
        return std::string(kEmptyKeyFolder);
    if (key == ".")
        return std::string(kEscapedDot);
    if (key == "..")
        return std::string(kEscapedDot).append(kEscapedDot);
    std::string escaped;
    escaped.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == platform::kPathSeparator)
            escaped.append(kEscapedSeparator);
        else if (startsEscape(key, i))
            escaped.append(kEscapedEscape);
        else
            escaped.push_back(key[i]);
    }
    return platform::windows1252ToUtf8(escaped);
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

} // namespace monitor
