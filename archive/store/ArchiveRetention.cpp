// Deleting the oldest day folders of the archive.
#include "ArchiveRetention.h"

#include "ArchiveDate.h"
#include "DateTime.h"
#include "DateTimeFormat.h"
#include "StationLog.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/statvfs.h>
#include <system_error>

namespace monitor {
namespace fs = std::filesystem;

namespace {

class StatvfsFreeSpace final : public FreeSpace
{
public:
    Reading available(const std::string& folder) const override
    {
        struct statvfs info
        {
        };
        if (::statvfs(folder.c_str(), &info) != 0)
            return {errno, 0};
        return {0, static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize};
    }
};

std::int64_t dayNumber(const archive::Date& date)
{
    return platform::toDateTimeMs({date.year, date.month, date.day, 0, 0, 0, 0}) /
           platform::kMsPerDay;
}

std::string dateOf(std::int64_t dayNumber)
{
    return platform::formatDateTime("yyyy-mm-dd",
                                    platform::fromDateTimeMs(dayNumber * platform::kMsPerDay));
}

std::string gib(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1u << 30));
    return text;
}

} // namespace

const FreeSpace& systemFreeSpace()
{
    static const StatvfsFreeSpace freeSpace;
    return freeSpace;
}

ArchiveRetention::ArchiveRetention(std::string programFolder, RetentionLimits limits,
                                   const FreeSpace& freeSpace,
                                   std::chrono::milliseconds clockJumpLimit)
    : m_programFolder(std::move(programFolder)), m_limits(limits), m_freeSpace(freeSpace),
      m_clock(clockJumpLimit)
{
}

std::optional<std::uint64_t> ArchiveRetention::readFreeSpace(const std::string& stamp, Pass& pass)
{
    const FreeSpace::Reading reading = m_freeSpace.available(m_programFolder);
    if (reading.error != 0) {
        if (reading.error != m_freeSpaceError)
            pass.lines.push_back(stamp + ("Archive: cannot read the free space of " +
                                          m_programFolder + ": " + std::strerror(reading.error)));
        m_freeSpaceError = reading.error;
        return std::nullopt;
    }
    m_freeSpaceError = 0;
    return reading.bytes;
}

bool ArchiveRetention::belowMinimumFree(const std::string& stamp, Pass& pass)
{
    if (m_limits.minFreeBytes == 0)
        return false;
    // Without a reading the free-space limit deletes nothing.
    const std::optional<std::uint64_t> available = readFreeSpace(stamp, pass);
    return available && *available < m_limits.minFreeBytes;
}

void ArchiveRetention::warnLowFree(const std::string& stamp, Pass& pass)
{
    if (m_limits.minFreeBytes != 0 || m_limits.lowFreeWarningBytes == 0)
        return;
    const std::optional<std::uint64_t> available = readFreeSpace(stamp, pass);
    if (!available)
        return;
    const bool low = *available < m_limits.lowFreeWarningBytes;
    if (low && !m_lowFreeTold)
        pass.lines.push_back(stamp +
                             ("Archive: only " + gib(*available) + " free on " + m_programFolder +
                              "; nothing is deleted for space, as MIN_FREE_GIB is not set"));
    else if (!low && m_lowFreeTold)
        pass.lines.push_back(stamp +
                             ("Archive: " + gib(*available) + " free again on " + m_programFolder));
    m_lowFreeTold = low;
}

bool ArchiveRetention::keptForWrongClock(const archive::DayFolder& day) const
{
    std::error_code ec;
    return m_keptInMemory.contains(archive::dayFolderName(day.date)) ||
           fs::symlink_status(fs::path(day.path) / kWrongClockFileName, ec).type() ==
               fs::file_type::regular;
}

void ArchiveRetention::keepForWrongClock(const archive::DayFolder& day, const std::string& why,
                                         const std::string& stamp, Pass& pass)
{
    const std::string name = archive::dayFolderName(day.date);
    {
        std::ofstream note(fs::path(day.path) / kWrongClockFileName, std::ios::binary);
        note << "The station received what the day folder " << name
             << " holds while its clock was wrong (" << why
             << ").\nDeletion by age (KEEP_DAYS) leaves this day alone while this file is "
                "here.\nDelete this file to let KEEP_DAYS take the day.\n";
        note.flush();
        if (!note)
            m_keptInMemory.insert(name); // kept for this run at least
    }
    pass.lines.push_back(stamp + ("Archive: the day " + name +
                                  " is kept from deletion by age: received while the clock was "
                                  "wrong (" +
                                  why + ")"));
}

// The clock is judged at each pass against what the archive's days say,
// leaving out the days kept for a wrong clock: they would hold a right clock
// for ever once the wrong one had filed into them.
void ArchiveRetention::judgeClock(const ClockReading& now,
                                  const std::vector<archive::DayFolder>& days,
                                  const std::string& stamp, Pass& pass)
{
    std::error_code ec;
    if (fs::remove(fs::path(m_programFolder) / kConfirmDateFileName, ec))
        m_clock.confirm();
    const std::int64_t today = dayNumber(archive::dateOf(now.wall));
    const bool firstPass = !m_seen;
    std::set<std::string> seen;
    std::vector<const archive::DayFolder*>
        fresh; // new since the last pass, dated as the clock reads
    ClockPlausibility::Disk disk;
    for (const archive::DayFolder& day : days) {
        const std::string name = archive::dayFolderName(day.date);
        seen.insert(name);
        const std::int64_t number = dayNumber(day.date);
        const std::int64_t age = today - number;
        if (!firstPass && !m_seen->contains(name)) {
            // A day begun since the last pass is today's by the clock that
            // filed into it; dated otherwise, that clock was not this one.
            if (age < 0)
                keepForWrongClock(day, "dated after today, " + dateOf(today), stamp, pass);
            else if (age >= m_limits.keepDays)
                keepForWrongClock(day, "past the age limit when it appeared", stamp, pass);
            else
                fresh.push_back(&day);
        }
        if (keptForWrongClock(day))
            continue;
        disk.newestDay = number; // in order: the last is the newest
        if (age > 0) {
            ++disk.pastDays;
            if (age >= m_limits.keepDays)
                ++disk.pastDaysOverAge;
        }
    }
    m_seen = std::move(seen);

    const ClockPlausibility::Judgement judgement = m_clock.judge(now, disk);
    using Verdict = ClockPlausibility::Verdict;
    pass.ageHeld = judgement.verdict != Verdict::plausible;
    if (pass.ageHeld)
        for (const archive::DayFolder* day : fresh)
            keepForWrongClock(*day, "begun while deletion by age was held", stamp, pass);
    const std::string clockText = platform::formatDateTime("yyyy-mm-dd hh:nn", now.wall);
    if (judgement.confirmed)
        pass.lines.push_back(stamp + ("Archive: the date was confirmed, the clock reads " +
                                      clockText + "; deletion by age goes on"));
    else if (pass.ageHeld && m_clockTold != judgement.verdict)
        pass.lines.push_back(
            stamp + ("Archive: deletion by age is held: " + judgement.why +
                     "; it goes on when the clock is plausible again or the date is confirmed "
                     "(Confirm date in the window, or a file " +
                     kConfirmDateFileName + " beside the archive)"));
    else if (!pass.ageHeld && m_clockTold && *m_clockTold != Verdict::plausible)
        pass.lines.push_back(stamp + ("Archive: the clock is plausible again, it reads " +
                                      clockText + "; deletion by age goes on"));
    m_clockTold = judgement.verdict;
}

ArchiveRetention::Pass ArchiveRetention::run(const ClockReading& now, std::stop_token stop)
{
    Pass pass;
    if (m_programFolder.empty())
        return pass;
    const std::string stamp = platform::formatDateTime("hh:mm:ss ", now.wall);
    warnLowFree(stamp, pass);
    if (m_limits.keepDays == 0 && m_limits.minFreeBytes == 0)
        return pass;
    const std::int64_t today = dayNumber(archive::dateOf(now.wall));
    const std::vector<archive::DayFolder> days = archive::listDayFolders(m_programFolder);
    if (m_limits.keepDays > 0)
        judgeClock(now, days, stamp, pass);
    std::optional<std::int64_t> spaceBound; // the newest day deleted for space
    for (const archive::DayFolder& day : days) {
        if (stop.stop_requested())
            return pass;
        const std::int64_t age = today - dayNumber(day.date);
        if (age <= 0)
            break; // today's, and any after it, in order: the archive writes there
        const bool overAge = m_limits.keepDays > 0 && age >= m_limits.keepDays;
        const bool kept = overAge && keptForWrongClock(day);
        std::string reason;
        if (overAge && !pass.ageHeld && !kept) {
            reason = "older than " + std::to_string(m_limits.keepDays) + " days";
        } else if (belowMinimumFree(stamp, pass)) {
            reason = "less than " + gib(m_limits.minFreeBytes) + " free";
        } else if (kept && !pass.ageHeld) {
            continue; // a younger day may still be past the age limit
        } else {
            break; // every later day is younger (or age waits), and there is room
        }
        const std::string name = archive::dayFolderName(day.date);
        std::error_code ec;
        fs::remove_all(day.path, ec);
        if (ec) {
            const std::string why = ec.message();
            auto [told, isNew] = m_failed.try_emplace(name, why);
            if (isNew || told->second != why)
                pass.lines.push_back(stamp + ("Archive: cannot delete the day " + name + " (" +
                                              reason + "): " + why));
            told->second = why;
            continue;
        }
        m_failed.erase(name);
        if (!overAge || pass.ageHeld || kept)
            spaceBound = dayNumber(day.date);
        pass.deleted.push_back(name);
        pass.lines.push_back(stamp + ("Archive: deleted the day " + name + " (" + reason + ")"));
        // The month and the year go only when this deletion left them empty:
        // removing a folder fails unless it is empty.
        const fs::path month = fs::path(day.path).parent_path();
        std::error_code notEmpty;
        if (fs::remove(month, notEmpty))
            fs::remove(month.parent_path(), notEmpty);
    }
    deleteOldLogs(today, spaceBound, stamp, pass);
    return pass;
}

void ArchiveRetention::deleteOldLogs(std::int64_t today, std::optional<std::int64_t> spaceBound,
                                     const std::string& stamp, Pass& pass)
{
    const bool byAge = m_limits.keepDays > 0 && !pass.ageHeld;
    for (const StationLog::File& log : StationLog::list(m_programFolder)) {
        const std::int64_t number = dayNumber(log.date);
        if (number >= today)
            break; // today's, and any after it, in order: the station writes there
        const std::string name = archive::dayFolderName(log.date);
        const archive::DayFolder day{log.date, (fs::path(m_programFolder) / name).string()};
        const bool overAge =
            byAge && today - number >= m_limits.keepDays && !keptForWrongClock(day);
        if (!overAge && !(spaceBound && number <= *spaceBound))
            continue;
        std::error_code ec;
        fs::remove(log.path, ec);
        if (ec) {
            const std::string key = "log " + name;
            auto [told, isNew] = m_failed.try_emplace(key, ec.message());
            if (isNew || told->second != ec.message())
                pass.lines.push_back(stamp + ("Archive: cannot delete the station log of " + name +
                                              ": " + ec.message()));
            told->second = ec.message();
            continue;
        }
        m_failed.erase("log " + name);
        pass.deletedLogs.push_back(name);
        std::error_code notEmpty; // the month's folder goes when this emptied it
        fs::remove(fs::path(log.path).parent_path(), notEmpty);
    }
    if (pass.deletedLogs.size() == 1)
        pass.lines.push_back(stamp +
                             ("Archive: deleted the station log of " + pass.deletedLogs.front()));
    else if (pass.deletedLogs.size() > 1)
        pass.lines.push_back(stamp +
                             ("Archive: deleted " + std::to_string(pass.deletedLogs.size()) +
                              " station logs, of " + pass.deletedLogs.front() + " to " +
                              pass.deletedLogs.back()));
}

} // namespace monitor
