#include "ArchiveReader.h"

#include "ArchiveNames.h"
#include "DateTime.h"
#include "TextCodec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <tuple>
#include <unistd.h>

namespace archive {

namespace fs = std::filesystem;

namespace {

constexpr char kSeparator = '/';
constexpr std::string_view kPositionExtension = ".bin";
constexpr std::string_view kClipExtension = ".mov";
constexpr std::string_view kChannelInfix = "_CH_";
constexpr char kSameSecondMark = '_';
// A position file holds one sentence; more than this is not one of ours, and
// is read only up to here.
constexpr std::size_t kMaxPositionFileBytes = 4096;

std::optional<int> digits(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool isValidDate(const Date& d)
{
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= platform::daysInMonth(d.year, d.month);
}

// "hhnnss" as seconds since midnight.
std::optional<int> timeOfName(std::string_view text)
{
    if (text.size() != 6)
        return std::nullopt;
    const auto h = digits(text.substr(0, 2));
    const auto m = digits(text.substr(2, 2));
    const auto s = digits(text.substr(4, 2));
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

// "_N" with N >= 2 and no leading zero, as the station writes it.
std::optional<int> sameSecondSuffix(std::string_view text)
{
    if (text.size() < 2 || text[0] != kSameSecondMark || text[1] == '0')
        return std::nullopt;
    const auto n = digits(text.substr(1));
    if (!n || *n < 2)
        return std::nullopt;
    return n;
}

bool isChannel(std::string_view text)
{
    return text == "ALL" || (text.size() == 1 && text[0] >= '1' && text[0] <= '4');
}

// Entries a reader never looks at: hidden ones, which include the temporary
// ".partial-..." names of files being written.
bool isHidden(std::string_view name)
{
    return name.empty() || name[0] == '.';
}

template <typename F> void forEachEntry(const std::string& folder, F&& f)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        return;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            return;
        const std::string name = it->path().filename().string();
        if (!isHidden(name))
            f(*it, name);
    }
}

// A position file's text without its line end; none when it cannot be read.
std::optional<std::string> readSentence(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::array<char, kMaxPositionFileBytes> buffer{};
    std::size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    std::string_view text(buffer.data(), used);
    if (const auto lineEnd = text.find_first_of("\r\n"); lineEnd != std::string_view::npos)
        text = text.substr(0, lineEnd);
    return std::string(text);
}

} // namespace

std::optional<Date> parseDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto y = digits(text.substr(0, 4));
    const auto m = digits(text.substr(5, 2));
    const auto d = digits(text.substr(8, 2));
    if (!y || !m || !d)
        return std::nullopt;
    const Date date{*y, *m, *d};
    if (!isValidDate(date))
        return std::nullopt;
    return date;
}

std::string formatDate(const Date& date)
{
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d", date.year, date.month, date.day);
    return text.data();
}

std::string dayFolderName(const Date& date)
{
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04d/%02d/%02d", date.year, date.month, date.day);
    return text.data();
}

std::optional<int> parseTimeOfDay(std::string_view text)
{
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':' ||
        (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    const auto h = digits(text.substr(0, 2));
    const auto m = digits(text.substr(3, 2));
    const auto s = text.size() == 8 ? digits(text.substr(6, 2)) : std::optional<int>(0);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

std::string formatTimeOfDay(int secondOfDay)
{
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%02d:%02d:%02d", secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text.data();
}

std::string Recorder::displayName() const
{
    return key ? platform::windows1252ToUtf8(*key) : folder;
}

std::optional<PositionName> parsePositionName(std::string_view name)
{
    if (name.size() < 6 + kPositionExtension.size() || !name.ends_with(kPositionExtension))
        return std::nullopt;
    name.remove_suffix(kPositionExtension.size());
    PositionName parsed;
    const auto time = timeOfName(name.substr(0, 6));
    if (!time)
        return std::nullopt;
    parsed.secondOfDay = *time;
    if (name.size() > 6) {
        const auto index = sameSecondSuffix(name.substr(6));
        if (!index)
            return std::nullopt;
        parsed.sameSecondIndex = *index;
    }
    return parsed;
}

std::optional<ClipName> parseClipName(std::string_view name)
{
    if (!name.ends_with(kClipExtension) || name.size() < 6 + kChannelInfix.size())
        return std::nullopt;
    name.remove_suffix(kClipExtension.size());
    const auto time = timeOfName(name.substr(0, 6));
    if (!time || name.substr(6, kChannelInfix.size()) != kChannelInfix)
        return std::nullopt;
    ClipName parsed;
    parsed.secondOfDay = *time;
    std::string_view rest = name.substr(6 + kChannelInfix.size());
    if (const auto mark = rest.find(kSameSecondMark); mark != std::string_view::npos) {
        const auto index = sameSecondSuffix(rest.substr(mark));
        if (!index)
            return std::nullopt;
        parsed.sameSecondIndex = *index;
        rest = rest.substr(0, mark);
    }
    if (!isChannel(rest))
        return std::nullopt;
    parsed.channel = std::string(rest);
    return parsed;
}

ArchiveReader::ArchiveReader(std::string archiveFolder) : m_folder(std::move(archiveFolder))
{
    if (m_folder.empty())
        m_folder = ".";
    if (m_folder.back() != kSeparator)
        m_folder.push_back(kSeparator);
}

std::string ArchiveReader::dayFolder(const Date& day) const
{
    return m_folder + dayFolderName(day) + kSeparator;
}

std::vector<Date> ArchiveReader::days() const
{
    std::vector<Date> days;
    forEachEntry(m_folder, [&](const fs::directory_entry& yearEntry, const std::string& yearName) {
        const auto year = yearName.size() == 4 ? digits(yearName) : std::nullopt;
        std::error_code error;
        if (!year || !yearEntry.is_directory(error))
            return;
        forEachEntry(yearEntry.path().string(), [&](const fs::directory_entry& monthEntry,
                                                    const std::string& monthName) {
            const auto month = monthName.size() == 2 ? digits(monthName) : std::nullopt;
            if (!month || !monthEntry.is_directory(error))
                return;
            forEachEntry(monthEntry.path().string(), [&](const fs::directory_entry& dayEntry,
                                                         const std::string& dayName) {
                const auto day = dayName.size() == 2 ? digits(dayName) : std::nullopt;
                if (!day || !dayEntry.is_directory(error))
                    return;
                const Date date{*year, *month, *day};
                if (!isValidDate(date))
                    return;
                // Only days that hold a recorder folder: stop at the first.
                std::error_code dayError;
                fs::directory_iterator it(dayEntry.path(), dayError);
                for (const fs::directory_iterator end; !dayError && it != end;
                     it.increment(dayError)) {
                    if (!isHidden(it->path().filename().string()) && it->is_directory(dayError)) {
                        days.push_back(date);
                        return;
                    }
                }
            });
        });
    });
    std::sort(days.begin(), days.end());
    return days;
}

std::vector<Recorder> ArchiveReader::recorders(const Date& day) const
{
    std::vector<Recorder> recorders;
    forEachEntry(dayFolder(day), [&](const fs::directory_entry& entry, const std::string& name) {
        std::error_code error;
        if (entry.is_directory(error))
            recorders.push_back({name, monitor::deviceFolderKey(name)});
    });
    std::sort(recorders.begin(), recorders.end(),
              [](const Recorder& a, const Recorder& b) { return a.folder < b.folder; });
    return recorders;
}

const Recorder* recorderWithKey(const std::vector<Recorder>& recorders, std::string_view key)
{
    const std::string shortened = monitor::deviceFolderName(key);
    for (const Recorder& recorder : recorders) {
        if ((recorder.key && *recorder.key == key) || recorder.folder == shortened)
            return &recorder;
    }
    return nullptr;
}

std::optional<std::string> ArchiveReader::folderOfKey(const Date& day, std::string_view key) const
{
    const std::vector<Recorder> all = recorders(day);
    if (const Recorder* recorder = recorderWithKey(all, key))
        return recorder->folder;
    return std::nullopt;
}

std::optional<RecorderDay> ArchiveReader::recorderDay(const Date& day,
                                                      std::string_view folder) const
{
    if (folder.empty() || isHidden(folder) || folder.find(kSeparator) != std::string_view::npos ||
        folder == "..")
        return std::nullopt;
    const std::string path = dayFolder(day) + std::string(folder);
    std::error_code error;
    if (!fs::is_directory(path, error))
        return std::nullopt;

    RecorderDay result;
    result.day = day;
    result.folder = std::string(folder);
    forEachEntry(path, [&](const fs::directory_entry& entry, const std::string& name) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError))
            return;
        if (const auto position = parsePositionName(name)) {
            auto sentence = readSentence(entry.path().string());
            if (!sentence)
                return; // gone while we read: the reader never stops for one file
            Position p;
            p.secondOfDay = position->secondOfDay;
            p.sameSecondIndex = position->sameSecondIndex;
            p.path = entry.path().string();
            p.rmc = parseRmc(*sentence);
            p.sentence = std::move(*sentence);
            result.positions.push_back(std::move(p));
        } else if (auto clip = parseClipName(name)) {
            const auto size = entry.file_size(entryError);
            if (entryError)
                return;
            result.clips.push_back({clip->secondOfDay, clip->sameSecondIndex,
                                    std::move(clip->channel), entry.path().string(), size});
        }
    });
    std::sort(result.positions.begin(), result.positions.end(),
              [](const Position& a, const Position& b) {
                  return std::tie(a.secondOfDay, a.sameSecondIndex) <
                         std::tie(b.secondOfDay, b.sameSecondIndex);
              });
    std::sort(result.clips.begin(), result.clips.end(), [](const Clip& a, const Clip& b) {
        return std::tie(a.secondOfDay, a.sameSecondIndex, a.channel) <
               std::tie(b.secondOfDay, b.sameSecondIndex, b.channel);
    });
    return result;
}

} // namespace archive
