#include "ArchiveComplaints.h"

#include <filesystem>

namespace archive {
namespace {

constexpr std::size_t kDaysNamed = 5;      // the newest, in the complaint about a missing day
constexpr std::size_t kRecordersNamed = 5; // in the complaint about a missing key

} // namespace

std::string archiveFolderComplaint(const std::string& folder)
{
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) ? std::string() : "no such folder: " + folder;
}

std::string noSuchDayText(const ArchiveSet& reader, const Date& day)
{
    const std::vector<Date> days = reader.days();
    std::string text = "no such day " + formatDate(day) + " in the archive " + reader.folder();
    if (days.empty())
        return text + " (it holds no day)";
    text += " (its days: ";
    const std::size_t first = days.size() > kDaysNamed ? days.size() - kDaysNamed : 0;
    for (std::size_t i = first; i < days.size(); ++i)
        text += (i > first ? ", " : "") + formatDate(days[i]);
    if (first > 0)
        text += "; " + std::to_string(first) + " earlier";
    return text + ")";
}

std::string noSuchRecorderText(const Date& day, const std::string& key,
                               const std::vector<Recorder>& recorders)
{
    std::string text = formatDate(day) + " has no recorder \"" + key + "\" (it has ";
    for (std::size_t i = 0; i < recorders.size() && i < kRecordersNamed; ++i)
        text += (i ? ", \"" : "\"") + recorders[i].displayName() + "\"";
    if (recorders.size() > kRecordersNamed)
        text += " and " + std::to_string(recorders.size() - kRecordersNamed) + " more";
    return text + ")";
}

} // namespace archive
