// The names in the station's archive, under the program's folder, made and
// read back side by side here, so that the station that writes them and the
// browser that reads them cannot disagree:
//
//   <program folder>/yyyy/mm/dd/                      the day folder (ArchiveDate.h)
//   <day folder><recorder folder>/hhnnss.bin           a position sentence
//   <day folder><recorder folder>/hhnnss_CH_<c>.mov    a clip of channel c (1..4, ALL)
//   <day folder><recorder folder>/temp.mov             the preview clip
//
// hhnnss is the local time at which the event was handled. A second file of
// the same name within one second is not written over the first: it takes the
// suffix "_2" before the extension, the next "_3", and so on (143005.bin,
// 143005_2.bin; 143005_CH_2.mov, 143005_CH_2_2.mov), so that names sort in
// time order ('_' comes after '.'). Earlier versions of the station wrote
// "-2", "-3", ... instead (143005-2.bin, 143005_CH_2-2.mov); those names are
// read as the same file of the same second, and never written.
//
// The recorder folder is the recorder's key (or the address of a connection
// that has not logged in yet) as UTF-8. A key comes from the wire and may hold
// anything but a zero byte, so what would not name exactly one plain, visible
// folder inside the day folder is escaped, reversibly, as "%" and two
// upper-case hex digits of the Windows-1252 byte:
//   "/"                                  -> "%2F"
//   "%" followed by two hex digits       -> "%25" (so that an escape is never ambiguous)
//   control characters: bytes 0x01-0x1F and 0x7F, and the bytes 0x81, 0x8D,
//   0x8F, 0x90, 0x9D that become C1 controls in UTF-8   -> "%01" ... "%9D"
//   a leading "."                        -> "%2E" (no hidden folders)
//   the whole key ".."                   -> "%2E%2E"
//   the empty key                        -> "%00" (no key holds a zero byte)
// Every other character stays as it is. Reading a folder name back turns each
// "%" and two hex digits into that byte.
//
// A name longer than the file system allows (kMaxFolderNameBytes, or what
// the day folder's file system says) is shortened: as much of the front of
// the name as fits, then "%00" and 32 hex digits of the SHA-256 of the whole
// key. "%00" appears in no other name, so a shortened name never equals
// another key's name, and two keys that share the front still differ.
#pragma once

#include "ArchiveDate.h"
#include "LocalTime.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace archive {

inline constexpr std::string_view kPreviewFileName = "temp.mov";

// <program folder>/yyyy/mm/dd/; the folder must end in the separator.
std::string dayFolderPath(std::string_view programFolder, const Date& date);
std::string dayFolderPath(std::string_view programFolder, const platform::LocalTime& date);

// The longest file name (in bytes) of the usual Linux file systems.
inline constexpr std::size_t kMaxFolderNameBytes = 255;

// The folder name of a recorder key (Windows-1252 bytes): escaped, then UTF-8,
// shortened when longer than maxNameBytes.
std::string deviceFolderName(std::string_view key, std::size_t maxNameBytes = kMaxFolderNameBytes);

// The key (Windows-1252) that a folder name stands for; none for a shortened
// name, whose key cannot be read back.
std::optional<std::string> deviceFolderKey(std::string_view folderName);

// File names inside a recorder folder; sameSecondIndex 1 is the first file of
// its second, 2 the second, and so on.
std::string PositionFile(const platform::LocalTime& time, int sameSecondIndex = 1);
std::string ClipFile(const platform::LocalTime& time, std::string_view channelText,
                     int sameSecondIndex = 1);

// The parts of a file name inside a recorder folder, read back; none when the
// name is not one that PositionFile or ClipFile makes, or its older form with
// "-N" for "_N".
struct PositionName
{
    int secondOfDay = 0;     // the local time of the name: seconds since midnight
    int sameSecondIndex = 1; // 1 for hhnnss.bin, 2 for hhnnss_2.bin (or hhnnss-2.bin), ...
    bool operator==(const PositionName&) const = default;
};
struct ClipName
{
    int secondOfDay = 0;
    int sameSecondIndex = 1;
    std::string channel; // "1".."4" or "ALL"
    bool operator==(const ClipName&) const = default;
};
std::optional<PositionName> parsePositionName(std::string_view fileName);
std::optional<ClipName> parseClipName(std::string_view fileName);

} // namespace archive
