#include "Archive.h"

#include "ArchiveFiles.h"
#include "ArchiveNames.h"
#include "ClipViewer.h"
#include "DateTime.h"
#include "EventText.h"
#include "Paths.h"
#include "RecorderSelection.h"
#include "kavrel_events.h"

#include <cerrno>
#include <exception>

namespace monitor {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

ByteSpan bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

Archive::Archive(std::string programFolder, const platform::Clock& clock,
                 const RecorderSelection& recorders)
    : m_programFolder(programFolder.empty() ? std::string()
                                            : platform::withTrailingSeparator(programFolder)),
      m_clock(clock), m_recorders(recorders)
{
}

void Archive::BuildDayFolder()
{
    buildDayFolder(m_clock.now());
}

void Archive::buildDayFolder(const platform::LocalTime& now)
{
    if (m_programFolder.empty())
        return;
    m_dayFolder = archive::dayFolderPath(m_programFolder, now);
    // One level at a time: year, month, day. A failure shows again below it.
    for (std::size_t slash = m_dayFolder.find(platform::kPathSeparator, m_programFolder.size());
         slash != std::string::npos; slash = m_dayFolder.find(platform::kPathSeparator, slash + 1))
        platform::ensureFolder(m_dayFolder.substr(0, slash));
    m_maxFolderName = platform::maxNameLength(m_dayFolder);
}

std::string Archive::DeviceFolder(std::string_view key) const
{
    return m_dayFolder + archive::deviceFolderName(key, m_maxFolderName);
}

std::string Archive::PreviewFile(std::string_view key) const
{
    return platform::joinPath(DeviceFolder(key), archive::kPreviewFileName);
}

void Archive::EnsureDeviceFolder(std::string_view key)
{
    ensureDeviceFolder(key, m_clock.now());
}

std::optional<std::string> Archive::ensureDeviceFolder(std::string_view key,
                                                       const platform::LocalTime& now,
                                                       StoreOutcome* error)
{
    // A recorder folder that is there already under the same day folder
    // needs its parents neither made nor looked at again.
    if (!m_dayFolder.empty() && m_dayFolder == archive::dayFolderPath(m_programFolder, now)) {
        std::string folder = DeviceFolder(key);
        if (platform::ensureFolder(folder))
            return folder;
    }
    buildDayFolder(now);
    if (m_dayFolder.empty()) {
        if (error)
            *error = {ENOENT, "the program folder"};
        return std::nullopt;
    }
    std::string folder = DeviceFolder(key);
    errno = 0;
    if (!platform::ensureFolder(folder)) {
        if (error) {
            const int cause = errno != 0 ? errno : ENOTDIR;
            *error = {cause, folder, nameCannotBeMade(cause)};
        }
        return std::nullopt;
    }
    return folder;
}

namespace {

StoreOutcome outcomeOf(const WrittenFile& file, const std::string& folder)
{
    if (file)
        return {};
    if (file.namesUsedUp)
        return {file.error,
                "all " + std::to_string(kMaxSameSecondFiles) +
                    " names of its second are taken in " + folder,
                true};
    return {file.error, folder, nameCannotBeMade(file.error)};
}

// A time that names a day folder and a file: a four-digit year, a month and
// day of the calendar, an hour, minute and second of a day.
bool isPossibleTime(const platform::LocalTime& t)
{
    constexpr int kLastYear = 9999;
    return t.year >= 1 && t.year <= kLastYear && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= platform::daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 &&
           t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

} // namespace

StoreOutcome Archive::StorePositionSentence(std::string_view key, std::string_view text)
{
    if (!m_saveData) {
        EnsureDeviceFolder(key);
        return {};
    }
    return StoreReceived(key, kavrel::EventCode::CMD_GPRMC_DATA, bytesOf(text), m_clock.now());
}

StoreOutcome Archive::StoreClip(std::string_view key, std::span<const std::uint8_t> data,
                                std::string_view channelText)
{
    const platform::LocalTime now = m_clock.now();
    StoreOutcome failure;
    const std::optional<std::string> folder = ensureDeviceFolder(key, now, &failure);
    if (data.size() <= kClipThreshold)
        return {};
    // A fresh buffer: one long clip must not keep its memory for every later one.
    m_clipStream = std::vector<std::uint8_t>(data.begin(), data.end());
    if (m_saveData) {
        if (!folder)
            return failure;
        const WrittenFile file = writeNewFile(
            *folder, [&](int index) { return archive::ClipFile(now, channelText, index); },
            {m_clipStream});
        if (file) {
            rememberLatestClip(key, file.path);
            if (isSelected(key))
                show(file.path);
        }
        return outcomeOf(file, *folder);
    }
    if (!isSelected(key))
        return {};
    // The movie view lets go of the preview before it is written again.
    if (m_viewer)
        m_viewer->closeMovie();
    if (!folder)
        return {};
    const std::string preview = PreviewFile(key);
    if (replaceFile(preview, m_clipStream)) {
        rememberLatestClip(key, preview);
        show(preview);
    }
    return {};
}

void Archive::rememberLatestClip(std::string_view key, const std::string& file)
{
    // One entry per key that sent a clip; keys that are not listed any more
    // are let go once there are many, so that made-up keys cannot grow it.
    if (m_latestClips.size() >= kRememberedRecorders && !m_latestClips.contains(key))
        std::erase_if(m_latestClips,
                      [this](const auto& entry) { return !m_recorders.isListed(entry.first); });
    m_latestClips.insert_or_assign(std::string(key), file);
}

std::string Archive::LatestClip(std::string_view key) const
{
    const auto found = m_latestClips.find(key);
    return found == m_latestClips.end() ? std::string() : found->second;
}

void Archive::ShowLatestClip(std::string_view key)
{
    if (!m_viewer)
        return;
    // Whatever cannot be shown, the previous recorder's clip does not stay.
    for (const std::string& file : {key.empty() ? std::string() : LatestClip(key), m_idleMovie}) {
        if (file.empty() || !platform::fileExists(file))
            continue;
        try {
            m_viewer->showFile(file);
            return;
        } catch (const std::exception&) {
        }
    }
    m_viewer->closeMovie();
}

bool Archive::Keeps(std::int32_t code, std::size_t length)
{
    if (code == kavrel::EventCode::CMD_GPRMC_DATA)
        return true;
    return !kavrel::clipChannel(code).empty() && length > kClipThreshold;
}

StoreOutcome Archive::StoreReceived(std::string_view key, std::int32_t code,
                                    std::span<const std::uint8_t> data,
                                    const platform::LocalTime& received)
{
    if (!Keeps(code, data.size()))
        return {};
    // A journal record damaged in its time is still archived, under the time
    // it is recovered.
    const platform::LocalTime receivedAt = isPossibleTime(received) ? received : m_clock.now();
    StoreOutcome failure;
    const std::optional<std::string> folder = ensureDeviceFolder(key, receivedAt, &failure);
    if (!folder)
        return failure;
    if (code == kavrel::EventCode::CMD_GPRMC_DATA) {
        // The sentence: the data up to its first zero byte.
        const std::string_view text = EventText(data);
        return outcomeOf(
            writeNewFile(*folder,
                         [&](int index) { return archive::PositionFile(receivedAt, index); },
                         {bytesOf(text), bytesOf(kLineEnd)}),
            *folder);
    }
    const std::string_view channel = kavrel::clipChannel(code);
    return outcomeOf(
        writeNewFile(*folder,
                     [&](int index) { return archive::ClipFile(receivedAt, channel, index); },
                     {data}),
        *folder);
}

bool Archive::isSelected(std::string_view key) const
{
    return m_recorders.selectedKey() == key;
}

void Archive::show(const std::string& path)
{
    if (!m_viewer)
        return;
    try {
        m_viewer->showFile(path);
    } catch (const std::exception&) {
        // A clip the movie view cannot open is left unshown.
    }
}

} // namespace monitor
