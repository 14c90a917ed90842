#include "ArchiveReader.h"

#include "ArchiveDays.h"
#include "FileDescriptor.h"
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
// A position file holds one sentence; more than this is not one of ours, and
// is read only up to here.
constexpr std::size_t kMaxPositionFileBytes = 4096;

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
    const platform::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    std::array<char, kMaxPositionFileBytes> buffer{};
    std::size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = platform::retryOnInterrupt(
            [&] { return ::read(fd.get(), buffer.data() + used, buffer.size() - used); });
        if (n <= 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    std::string_view text(buffer.data(), used);
    if (const auto lineEnd = text.find_first_of("\r\n"); lineEnd != std::string_view::npos)
        text = text.substr(0, lineEnd);
    return std::string(text);
}

} // namespace

std::optional<int> parseTimeOfDay(std::string_view text)
{
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':' ||
        (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    const auto h = decimalDigits(text.substr(0, 2));
    const auto m = decimalDigits(text.substr(3, 2));
    const auto s = text.size() == 8 ? decimalDigits(text.substr(6, 2)) : std::optional<int>(0);
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

ArchiveReader::ArchiveReader(std::string archiveFolder) : m_folder(std::move(archiveFolder))
{
    if (m_folder.empty())
        m_folder = ".";
    if (m_folder.back() != kSeparator)
        m_folder.push_back(kSeparator);
}

std::string ArchiveReader::dayFolder(const Date& day) const
{
    return dayFolderPath(m_folder, day);
}

std::vector<Date> ArchiveReader::days() const
{
    std::vector<Date> days;
    for (const DayFolder& day : listDayFolders(m_folder)) {
        // Only days that hold a recorder folder: stop at the first.
        std::error_code error;
        fs::directory_iterator it(day.path, error);
        for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
            if (!isHidden(it->path().filename().string()) && it->is_directory(error)) {
                days.push_back(day.date);
                break;
            }
        }
    }
    return days;
}

std::vector<Recorder> ArchiveReader::recorders(const Date& day) const
{
    std::vector<Recorder> recorders;
    forEachEntry(dayFolder(day), [&](const fs::directory_entry& entry, const std::string& name) {
        std::error_code error;
        if (entry.is_directory(error))
            recorders.push_back({name, deviceFolderKey(name)});
    });
    std::sort(recorders.begin(), recorders.end(),
              [](const Recorder& a, const Recorder& b) { return a.folder < b.folder; });
    return recorders;
}

const Recorder* recorderWithKey(const std::vector<Recorder>& recorders, std::string_view key)
{
    const std::string shortened = deviceFolderName(key);
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
            p.rmc = nmea::parseRmc(*sentence);
            p.sentence = std::move(*sentence);
            result.positions.push_back(std::move(p));
        } else if (auto clip = parseClipName(name)) {
            const auto size = entry.file_size(entryError);
            if (entryError)
                return;
            result.clips.push_back({clip->secondOfDay, clip->sameSecondIndex,
                                    std::move(clip->channel), entry.path().string(), size, 0,
                                    name});
        }
    });
    std::sort(result.positions.begin(), result.positions.end(),
              [](const Position& a, const Position& b) {
                  return std::tie(a.secondOfDay, a.sameSecondIndex, a.path) <
                         std::tie(b.secondOfDay, b.sameSecondIndex, b.path);
              });
    std::sort(result.clips.begin(), result.clips.end(), [](const Clip& a, const Clip& b) {
        return std::tie(a.secondOfDay, a.sameSecondIndex, a.channel, a.path) <
               std::tie(b.secondOfDay, b.sameSecondIndex, b.channel, b.path);
    });
    return result;
}

} // namespace archive
