// ArchiveSet: several archive folders read as one, one folder per gateway that
// receives recorders behind the load balancer. A recorder may reach any of
// them, so its day is spread over the folders:
//   days()                   the union of the folders' days, oldest first
//   recorders(day)           the union of the day's recorder folders (one
//                            entry per folder name, which is the key), in byte
//                            order of the names
//   recorderDay(day, folder) the positions and clips of that recorder's
//                            folder in every archive, merged in time order:
//                            by time, same-second index, then the order the
//                            archives were given
// Files of the same name in two archives are both kept: each position and clip
// says which archive it came from, and a clip whose file name an earlier
// archive's clip of the day already has is named "<name>.archiveN<ext>" (N the
// archive's place, from 1), so that copies beside each other never replace
// one another. With one folder everything reads exactly as ArchiveReader
// reads it.
//
// Threading: as ArchiveReader: only the folders' paths are held.
#pragma once

#include "ArchiveReader.h"

#include <string>
#include <string_view>
#include <vector>

namespace archive {

class ArchiveSet
{
public:
    // At least one folder; an empty list reads the current folder.
    explicit ArchiveSet(std::vector<std::string> archiveFolders);
    explicit ArchiveSet(std::string archiveFolder);

    const std::vector<ArchiveReader>& readers() const { return m_readers; }
    // The folders for showing: each with its trailing separator, joined by ", ".
    std::string folder() const;

    std::vector<Date> days() const;
    std::vector<Recorder> recorders(const Date& day) const;
    // None when no archive has the recorder folder on that day.
    std::optional<RecorderDay> recorderDay(const Date& day, std::string_view folder) const;
    // The day's folder in the first archive.
    std::string dayFolder(const Date& day) const;

private:
    std::vector<ArchiveReader> m_readers;
};

// "143005_CH_2.mov" from the archive at place 2 (from 1): "143005_CH_2.archive2.mov".
std::string nameFromArchive(std::string_view fileName, std::size_t archiveIndex);

} // namespace archive
