// Deleting the oldest day folders of the archive.
#include "ArchiveRetention.h"

#include "DateTime.h"
#include "DateTimeFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/statvfs.h>
#include <system_error>
#include <tuple>

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

// A folder name of exactly `digits` decimal digits, as a number; -1 otherwise.
int numberName(const std::string& name, std::size_t digits)
{
    if (name.size() != digits)
        return -1;
    int value = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The plain folders (no symbolic links) in a folder, by name.
std::vector<std::pair<std::string, fs::path>> plainFolders(const fs::path& folder)
{
    std::vector<std::pair<std::string, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->symlink_status(typeError).type() == fs::file_type::directory)
            found.emplace_back(it->path().filename().string(), it->path());
    }
    return found;
}

std::int64_t dayNumber(int year, int month, int day)
{
    return platform::toDateTimeMs({year, month, day, 0, 0, 0, 0}) / platform::kMsPerDay;
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

std::string ArchiveDay::name() const
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", year, month, day);
    return text;
}

std::vector<ArchiveDay> listArchiveDays(const std::string& programFolder)
{
    std::vector<ArchiveDay> days;
    for (const auto& [yearName, yearPath] : plainFolders(programFolder)) {
        const int year = numberName(yearName, 4);
        if (year < 1)
            continue;
        for (const auto& [monthName, monthPath] : plainFolders(yearPath)) {
            const int month = numberName(monthName, 2);
            if (month < 1 || month > 12)
                continue;
            for (const auto& [dayName, dayPath] : plainFolders(monthPath)) {
                const int day = numberName(dayName, 2);
                if (day < 1 || day > platform::daysInMonth(year, month))
                    continue;
                days.push_back({year, month, day, dayPath.string()});
            }
        }
    }
    std::sort(days.begin(), days.end(), [](const ArchiveDay& a, const ArchiveDay& b) {
        return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
    });
    return days;
}

ArchiveRetention::ArchiveRetention(std::string programFolder, RetentionLimits limits,
                                   const FreeSpace& freeSpace)
    : m_programFolder(std::move(programFolder)), m_limits(limits), m_freeSpace(freeSpace)
{
}

bool ArchiveRetention::belowMinimumFree(const std::string& stamp, Pass& pass)
{
    if (m_limits.minFreeBytes == 0)
        return false;
    const FreeSpace::Reading reading = m_freeSpace.available(m_programFolder);
    if (reading.error != 0) {
        // Without a reading the free-space limit deletes nothing.
        if (reading.error != m_freeSpaceError)
            pass.lines.push_back(stamp + ("Archive: cannot read the free space of " +
                                          m_programFolder + ": " + std::strerror(reading.error)));
        m_freeSpaceError = reading.error;
        return false;
    }
    m_freeSpaceError = 0;
    return reading.bytes < m_limits.minFreeBytes;
}

ArchiveRetention::Pass ArchiveRetention::run(const platform::LocalTime& now, std::stop_token stop)
{
    Pass pass;
    if (m_programFolder.empty() || (m_limits.keepDays == 0 && m_limits.minFreeBytes == 0))
        return pass;
    const std::string stamp = platform::formatDateTime("hh:mm:ss ", now);
    const std::int64_t today = dayNumber(now.year, now.month, now.day);
    for (const ArchiveDay& day : listArchiveDays(m_programFolder)) {
        if (stop.stop_requested())
            break;
        const std::int64_t age = today - dayNumber(day.year, day.month, day.day);
        if (age <= 0)
            break; // today's, and any after it, in order: the archive writes there
        std::string reason;
        if (m_limits.keepDays > 0 && age >= m_limits.keepDays) {
            reason = "older than " + std::to_string(m_limits.keepDays) + " days";
        } else if (belowMinimumFree(stamp, pass)) {
            reason = "less than " + gib(m_limits.minFreeBytes) + " free";
        } else {
            break; // every later day is younger, and there is room
        }
        const std::string name = day.name();
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
        pass.deleted.push_back(name);
        pass.lines.push_back(stamp + ("Archive: deleted the day " + name + " (" + reason + ")"));
        // The month and the year go only when this deletion left them empty:
        // removing a folder fails unless it is empty.
        const fs::path month = fs::path(day.path).parent_path();
        std::error_code notEmpty;
        if (fs::remove(month, notEmpty))
            fs::remove(month.parent_path(), notEmpty);
    }
    return pass;
}

} // namespace monitor
