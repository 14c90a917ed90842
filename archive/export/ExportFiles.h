// What an export takes from a recorder's day, and the files it writes.
//
// A range is given in the local times of the file names: from inclusive, to
// exclusive ("14:00" to "15:00" is 14:00:00 up to 14:59:59); the whole day is
// 00:00:00 up to 24:00:00.
#pragma once

#include "ArchiveReader.h"

#include <string>
#include <string_view>

namespace archive {

inline constexpr int kSecondsPerDay = 24 * 60 * 60;

struct TimeRange
{
    int from = 0;            // seconds since midnight, inclusive
    int to = kSecondsPerDay; // exclusive
    bool contains(int secondOfDay) const { return secondOfDay >= from && secondOfDay < to; }
};

// The positions and clips of the day within the range, in the day's order.
RecorderDay withinRange(const RecorderDay& day, const TimeRange& range);

// The NMEA log: every position's sentence in time order, one per line, each
// ended by a line feed.
std::string nmeaLog(const RecorderDay& day);

// Writes the file whole: under a temporary name beside it, then renamed, so
// that a failed export never leaves a file cut short under the name. Returns
// the error text, or an empty string.
std::string writeFileWhole(const std::string& path, std::string_view bytes);

// Copies the day's clips into the folder (made when missing; its parent must
// exist) under their archive names, replacing files of those names. Returns
// the error text, or an empty string.
std::string copyClips(const RecorderDay& day, const std::string& folder);

} // namespace archive
