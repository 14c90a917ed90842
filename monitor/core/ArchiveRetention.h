// ArchiveRetention: keeps the archive within its limits by deleting whole day
// folders, oldest first.
//
// Only folders that match the archive's own layout under the program folder
// are ever deleted: <year>/<month>/<day> with a four-digit year, a month 01 to
// 12 and a day that exists in that month, each a plain folder (no symbolic
// link). Anything else anywhere in the tree is left alone. Today's folder (and
// any dated after today, should the clock have gone back) is never deleted:
// the archive writes into it. A month or year folder goes only when this pass
// emptied it by deleting a day in it.
//
// A day goes while it is older than the age limit (KEEP_DAYS days, today
// counted), or while the program folder's file system has less free space
// than the minimum. Each deletion is told as a line "hh:mm:ss ..."; a day that
// cannot be deleted is told once for each new reason, skipped for the rest of
// the pass, and tried again at the next pass only.
//
// Threading: one pass runs on whichever thread calls run(); an object is used
// by one thread at a time (RetentionWorker's thread in the station).
#pragma once

#include "LocalTime.h"

#include <cstdint>
#include <functional>
#include <map>
#include <stop_token>
#include <string>
#include <vector>

namespace monitor {

struct RetentionLimits
{
    static constexpr int kDefaultMinFreeGib = 2;
    // Whole days kept, today counted; 0: no age limit.
    int keepDays = 0;
    // Bytes kept free on the archive's file system; 0: no free-space limit.
    std::uint64_t minFreeBytes = std::uint64_t{kDefaultMinFreeGib} << 30;
};

// The free space of a file system, behind an interface so that tests can
// choose it.
class FreeSpace
{
public:
    struct Reading
    {
        int error = 0;           // errno when the reading failed
        std::uint64_t bytes = 0; // available to the station's user
    };
    virtual ~FreeSpace() = default;
    virtual Reading available(const std::string& folder) const = 0;
};

// statvfs of the folder's file system. Lives for the whole process; any thread.
const FreeSpace& systemFreeSpace();

// A day folder of the archive.
struct ArchiveDay
{
    int year = 0;
    int month = 0;
    int day = 0;
    std::string path;         // the folder, no trailing separator
    std::string name() const; // "yyyy/mm/dd"
};

// The day folders under programFolder that match the layout, oldest first.
std::vector<ArchiveDay> listArchiveDays(const std::string& programFolder);

class ArchiveRetention
{
public:
    ArchiveRetention(std::string programFolder, RetentionLimits limits,
                     const FreeSpace& freeSpace = systemFreeSpace());

    struct Pass
    {
        std::vector<std::string> deleted; // "yyyy/mm/dd", in the order deleted
        std::vector<std::string> lines;   // what to tell, "hh:mm:ss ..."
    };
    // One pass at the local time now: its date is today, its time stamps the
    // lines. A stop requested ends the pass between two deletions.
    Pass run(const platform::LocalTime& now, std::stop_token stop = {});

    const RetentionLimits& limits() const { return m_limits; }

private:
    bool belowMinimumFree(const std::string& stamp, Pass& pass);

    const std::string m_programFolder;
    const RetentionLimits m_limits;
    const FreeSpace& m_freeSpace;
    // By day name: why its deletion failed, as last told.
    std::map<std::string, std::string> m_failed;
    int m_freeSpaceError = 0; // the free-space reading's failure, as last told
};

} // namespace monitor
