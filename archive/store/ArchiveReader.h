// ArchiveReader: reads the station's archive folder, never writes it.
//
//   <archive folder>/yyyy/mm/dd/<recorder folder>/hhnnss[_N].bin          a position
//   <archive folder>/yyyy/mm/dd/<recorder folder>/hhnnss_CH_<c>[_N].mov   a clip
//
// (the names are made and read in archive/layout/ArchiveNames.h; the day
// folders are walked by ArchiveDays.h, which follows no symbolic link; the
// "-N" names of earlier versions are read as "_N").
// Everything is read lazily, straight from the folders, so there is no index
// to drift from the files:
//   days()                   the dates whose day folder matches the layout and
//                            holds at least one recorder folder, oldest first
//   recorders(day)           that day's recorder folders, with their keys
//                            decoded, in byte order of the folder names
//   recorderDay(day, folder) one recorder's positions (each file's sentence
//                            read and its RMC fields parsed) and clips (names
//                            and sizes only), in time order; only that one
//                            folder is read
// Files under a temporary name (".partial-..."), the preview file "temp.mov",
// hidden entries and whatever does not match the names are skipped, so the
// archive may be read while the station writes it: a file appears under its
// name only once it is whole.
//
// Threading: an ArchiveReader holds only its folder's path; any thread may
// use it, and several readers may read one archive at once.
#pragma once

#include "ArchiveDate.h"
#include "ArchiveNames.h"
#include "RmcFields.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

using nmea::RmcFields; // the positions' fields, parsed by the NMEA module

// A local time of day as the file names give it: seconds since midnight.
// "14:00" or "14:00:30"; none for anything else.
std::optional<int> parseTimeOfDay(std::string_view text);
// "14:00:30".
std::string formatTimeOfDay(int secondOfDay);

// A recorder folder of a day.
struct Recorder
{
    std::string folder; // the folder's name (UTF-8)
    // The recorder's key as stored (Windows-1252 bytes); none when the name was
    // shortened and the key cannot be read back.
    std::optional<std::string> key;
    // For showing: the key in UTF-8, or the folder's name for a shortened one.
    std::string displayName() const;
};

// One position file.
struct Position
{
    int secondOfDay = 0;     // the local time of the file name
    int sameSecondIndex = 1; // 1 for hhnnss.bin, 2 for hhnnss_2.bin or hhnnss-2.bin, ...
    std::string path;        // the file
    std::string sentence;    // the text, without its line end
    RmcFields rmc;           // parsed when the sentence is an RMC sentence
    std::size_t archive = 0; // the archive it was read from, by its place in an ArchiveSet
};

// One clip file.
struct Clip
{
    int secondOfDay = 0;
    int sameSecondIndex = 1;
    std::string channel; // "1".."4" or "ALL", as the name has it
    std::string path;
    std::uint64_t size = 0;
    std::size_t archive = 0; // as Position::archive
    // The name it goes by beside the day's other clips (copied, linked from
    // a GPX): its file's name, unique within the recorder's day in one archive
    // and made unique across archives by ArchiveSet.
    std::string name;
};

// One recorder's day.
struct RecorderDay
{
    Date day;
    std::string folder;
    // By time, then same-second index (then path, should an earlier version's
    // "-N" and a later "_N" name share both).
    std::vector<Position> positions;
    std::vector<Clip> clips; // by time, then same-second index, then channel, then path
};

class ArchiveReader
{
public:
    // The archive folder (the station's program folder); with or without a
    // trailing separator.
    explicit ArchiveReader(std::string archiveFolder);

    const std::string& folder() const { return m_folder; }

    std::vector<Date> days() const;
    std::vector<Recorder> recorders(const Date& day) const;
    // None when the day has no such recorder folder.
    std::optional<RecorderDay> recorderDay(const Date& day, std::string_view folder) const;

    // The folder of the recorder with this key (Windows-1252) on that day;
    // none when the day has none.
    std::optional<std::string> folderOfKey(const Date& day, std::string_view key) const;
    // <archive folder>/yyyy/mm/dd/
    std::string dayFolder(const Date& day) const;

private:
    std::string m_folder; // ends in the separator
};

// The recorder with this key (Windows-1252) among a day's recorders; null when
// none has it.
const Recorder* recorderWithKey(const std::vector<Recorder>& recorders, std::string_view key);

} // namespace archive
