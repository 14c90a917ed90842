// What an export takes from a recorder's day, and the files it writes.
//
// A range is given in the local times of the file names: from inclusive, to
// exclusive ("14:00" to "15:00" is 14:00:00 up to 14:59:59); the whole day is
// 00:00:00 up to 24:00:00.
#pragma once

#include "ArchiveReader.h"
#include "OutputFile.h"

#include <string>
#include <string_view>
#include <vector>

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

// The NMEA log: every position's sentence that is one well-formed NMEA
// sentence (nmea/NmeaSentence.h), in time order, one per line, each
// ended by a line feed. What else the archive holds as a position (an empty
// file, control characters, a second line, a wrong checksum) is left out and
// counted.
struct NmeaLog
{
    std::string text;
    std::size_t leftOut = 0; // positions whose text is not a well-formed sentence
};
NmeaLog nmeaLog(const RecorderDay& day);

// A clip that the export leaves out, and why.
struct LeftOutClip
{
    std::string path;
    std::string reason; // "a symbolic link", ...
};

// Takes out of the day the clips that are not plain files of the archive: a
// symbolic link named like a clip (which could point anywhere outside the
// archive), or one gone since the day was read. Returns them.
std::vector<LeftOutClip> leaveOutUnsafeClips(RecorderDay& day);

// Why the folder cannot take the clips: it is a symbolic link (which could
// lead the copies anywhere). Empty when it may be used.
std::string clipsFolderConflict(const std::string& folder);

// Copies the day's clips into the folder (made when missing; its parent must
// exist; a symbolic link is refused) under their names (Clip::name), each through
// writeOutputFile (OutputFile.h). A clip is opened without following a link.
// Returns the error text, or an empty string.
std::string copyClips(const RecorderDay& day, const std::string& folder, ExistingOutput existing);

} // namespace archive
