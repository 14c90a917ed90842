// What the archive's programs say when a day or a recorder asked for is not
// there, naming what is, so that the next try can be right: the export and
// the browser's command line say it in the same words.
#pragma once

#include "ArchiveSet.h"

#include <string>
#include <vector>

namespace archive {

// "no such folder: /opt/station" when the archive folder is not a folder;
// empty when it is one.
std::string archiveFolderComplaint(const std::string& folder);

// "no such day 2026-12-09 in the archive /opt/station/ (its days: 2026-12-07,
// 2026-12-08)", or "(it holds no day)"; the newest few days are named.
std::string noSuchDayText(const ArchiveSet& reader, const Date& day);

// "2026-12-08 has no recorder "BUS-99_1" (it has "BUS-12_1", "VAN-7_2")"; the
// first few recorders are named.
std::string noSuchRecorderText(const Date& day, const std::string& key,
                               const std::vector<Recorder>& recorders);

} // namespace archive
