// The day folders of an archive, walked the same way by whoever lists them:
// the station removing its leftovers, the retention deleting the oldest days
// and the browser showing them.
//
// A day folder is <archive folder>/<year>/<month>/<day> with a four-digit year,
// a two-digit month 01 to 12 and a two-digit day that exists in that month.
// Each of the three must be a plain folder: a symbolic link is never followed,
// so that nothing outside the archive's own tree is ever read or deleted as a
// day of it. Anything else anywhere in the tree is left out.
#pragma once

#include "ArchiveDate.h"

#include <string>
#include <vector>

namespace archive {

struct DayFolder
{
    Date date;
    std::string path; // the folder, no trailing separator
};

// The day folders under archiveFolder, oldest first; none when it cannot be
// read.
std::vector<DayFolder> listDayFolders(const std::string& archiveFolder);

} // namespace archive
