#include "ArchiveDays.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace archive {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kYearDigits = 4;
constexpr std::size_t kMonthDigits = 2;
constexpr std::size_t kDayDigits = 2;

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

} // namespace

std::vector<DayFolder> listDayFolders(const std::string& archiveFolder)
{
    std::vector<DayFolder> days;
    for (const auto& [yearName, yearPath] : plainFolders(archiveFolder)) {
        const int year = numberName(yearName, kYearDigits);
        if (year < 1)
            continue; // not a year: its tree is not looked into
        for (const auto& [monthName, monthPath] : plainFolders(yearPath)) {
            const int month = numberName(monthName, kMonthDigits);
            if (month < 1 || month > 12)
                continue;
            for (const auto& [dayName, dayPath] : plainFolders(monthPath)) {
                const Date date{year, month, numberName(dayName, kDayDigits)};
                if (isValidDate(date))
                    days.push_back({date, dayPath.string()});
            }
        }
    }
    std::sort(days.begin(), days.end(),
              [](const DayFolder& a, const DayFolder& b) { return a.date < b.date; });
    return days;
}

} // namespace archive
