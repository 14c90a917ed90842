// ArchiveRetention: keeps the archive within its limits by deleting whole day
// folders, oldest first.
//
// Only folders that match the archive's own layout under the program folder
// are ever deleted: the day folders that archive::listDayFolders finds
// (ArchiveDays.h), which follows no symbolic link. Anything else anywhere in
// the tree is left alone. Today's folder (and
// any dated after today, should the clock have gone back) is never deleted:
// the archive writes into it. A month or year folder goes only when this pass
// emptied it by deleting a day in it.
//
// A day goes while it is older than the age limit (KEEP_DAYS days, today
// counted), or while the program folder's file system has less free space
// than a minimum the operator set. Each deletion is told as a line
// "hh:mm:ss ..."; a day that cannot be deleted is told once for each new
// reason, skipped for the rest of the pass, and tried again at the next pass
// only. Without a minimum, free space under the warning level is told once
// each time it falls under it, and nothing is deleted for it.
//
// The station's daily log files (StationLog.h) go by the same limits: a day's
// log past the age limit while the clock is trusted (unless its day is kept
// for a wrong clock), and the logs up to the newest day deleted for space.
// Today's log and any dated after it stay.
//
// The age limit follows the wall clock only while ClockPlausibility trusts
// it; while it holds, nothing is deleted by age, and the hold and its end are
// told. The operator confirms the date through confirmDate() or by leaving a
// file "confirm-date" in the program folder (taken and removed by the next
// pass).
//
// What was received while the clock was wrong is never deleted by age: a day
// folder that appears during this run while the clock is held, or that
// appears already dated after today or past the age limit (only a clock that
// disagrees with the present one files there), gets a file
// "received-with-wrong-clock.txt". A day holding that file is never deleted
// by age, in this run or any later one, and is left out of the clock's checks
// against the disk; the operator deletes the file to let the day go. The
// free-space limit, when set, still takes such a day in its turn.
//
// Threading: one pass runs on whichever thread calls run(); an object is used
// by one thread at a time (RetentionWorker's thread in the station).
#pragma once

#include "ArchiveDays.h"
#include "ClockPlausibility.h"
#include "LocalTime.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace monitor {

struct RetentionLimits
{
    static constexpr int kLowFreeWarningGib = 2;
    // Whole days kept, today counted; 0: no age limit.
    int keepDays = 0;
    // Bytes kept free on the archive's file system by deleting the oldest
    // days; 0: no free-space limit (only the operator sets one).
    std::uint64_t minFreeBytes = 0;
    // Without a free-space limit: less free than this is told; 0: not told.
    std::uint64_t lowFreeWarningBytes = std::uint64_t{kLowFreeWarningGib} << 30;
};

// The names of the files the retention reads and writes in the archive.
inline constexpr const char* kConfirmDateFileName = "confirm-date";
inline constexpr const char* kWrongClockFileName = "received-with-wrong-clock.txt";

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

class ArchiveRetention
{
public:
    ArchiveRetention(std::string programFolder, RetentionLimits limits,
                     const FreeSpace& freeSpace = systemFreeSpace(),
                     std::chrono::milliseconds clockJumpLimit = ClockPlausibility::kJumpLimit);

    struct Pass
    {
        std::vector<std::string> deleted;     // "yyyy/mm/dd", in the order deleted
        std::vector<std::string> lines;       // what to tell, "hh:mm:ss ..."
        bool ageHeld = false;                 // the clock is not trusted: nothing went by age
        std::vector<std::string> deletedLogs; // the station's logs, "yyyy/mm/dd", in order
    };
    // One pass with the clocks read now: the wall clock's date is today, its
    // time stamps the lines. A stop requested ends the pass between two
    // deletions.
    Pass run(const ClockReading& now, std::stop_token stop = {});
    // The operator confirms the date: the next pass trusts the clock.
    void confirmDate() { m_clock.confirm(); }

    const RetentionLimits& limits() const { return m_limits; }

private:
    std::optional<std::uint64_t> readFreeSpace(const std::string& stamp, Pass& pass);
    bool belowMinimumFree(const std::string& stamp, Pass& pass);
    void warnLowFree(const std::string& stamp, Pass& pass);
    void judgeClock(const ClockReading& now, const std::vector<archive::DayFolder>& days,
                    const std::string& stamp, Pass& pass);
    bool keptForWrongClock(const archive::DayFolder& day) const;
    // Deletes the station's logs as the class comment says; spaceBound: the
    // day number of the newest day deleted for space, if any.
    void deleteOldLogs(std::int64_t today, std::optional<std::int64_t> spaceBound,
                       const std::string& stamp, Pass& pass);
    void keepForWrongClock(const archive::DayFolder& day, const std::string& why,
                           const std::string& stamp, Pass& pass);

    const std::string m_programFolder;
    const RetentionLimits m_limits;
    const FreeSpace& m_freeSpace;
    // By day name: why its deletion failed, as last told.
    std::map<std::string, std::string> m_failed;
    int m_freeSpaceError = 0; // the free-space reading's failure, as last told
    bool m_lowFreeTold = false;
    ClockPlausibility m_clock;
    std::optional<ClockPlausibility::Verdict> m_clockTold; // the verdict as last told
    // The day folders seen by the last pass; none before the first.
    std::optional<std::set<std::string>> m_seen;
    // Days kept for a wrong clock whose file could not be written.
    std::set<std::string> m_keptInMemory;
};

} // namespace monitor
