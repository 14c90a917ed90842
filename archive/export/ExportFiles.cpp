#include "ExportFiles.h"

#include "FileDescriptor.h"
#include "NmeaSentence.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace fs = std::filesystem;

RecorderDay withinRange(const RecorderDay& day, const TimeRange& range)
{
    RecorderDay result;
    result.day = day.day;
    result.folder = day.folder;
    for (const Position& p : day.positions)
        if (range.contains(p.secondOfDay))
            result.positions.push_back(p);
    for (const Clip& c : day.clips)
        if (range.contains(c.secondOfDay))
            result.clips.push_back(c);
    return result;
}

NmeaLog nmeaLog(const RecorderDay& day)
{
    NmeaLog log;
    for (const Position& p : day.positions) {
        if (!nmea::isWellFormedNmeaSentence(p.sentence)) {
            ++log.leftOut;
            continue;
        }
        log.text.append(p.sentence).push_back('\n');
    }
    return log;
}

std::vector<LeftOutClip> leaveOutUnsafeClips(RecorderDay& day)
{
    std::vector<LeftOutClip> leftOut;
    std::erase_if(day.clips, [&](const Clip& clip) {
        struct stat status = {};
        if (::lstat(clip.path.c_str(), &status) != 0)
            leftOut.push_back({clip.path, std::strerror(errno)});
        else if (S_ISLNK(status.st_mode))
            leftOut.push_back({clip.path, "a symbolic link"});
        else if (!S_ISREG(status.st_mode))
            leftOut.push_back({clip.path, "not a plain file"});
        else
            return false;
        return true;
    });
    return leftOut;
}

namespace {

// Pieces in which a clip is copied: clips run to a gigabyte.
constexpr std::size_t kCopyChunkBytes = std::size_t{1} << 20;

std::string cannotCopy(const Clip& clip, const std::string& reason)
{
    return "cannot copy " + clip.path + ": " + reason;
}

// Copies one clip, opened without following a link, under a temporary name.
std::string copyClip(const Clip& clip, const std::string& target, ExistingOutput existing,
                     std::vector<char>& buffer)
{
    const platform::FileDescriptor source(
        ::open(clip.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (source.get() < 0)
        return cannotCopy(clip, errno == ELOOP ? "a symbolic link" : std::strerror(errno));
    struct stat status = {};
    if (::fstat(source.get(), &status) != 0)
        return cannotCopy(clip, std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        return cannotCopy(clip, "not a plain file");
    return writeOutputFile(target, existing, [&](const OutputSink& sink) {
        for (;;) {
            const ssize_t n = platform::retryOnInterrupt(
                [&] { return ::read(source.get(), buffer.data(), buffer.size()); });
            if (n < 0)
                return cannotCopy(clip, std::strerror(errno));
            if (n == 0 || sink({buffer.data(), static_cast<std::size_t>(n)}) != 0)
                return std::string(); // the end, or the sink's own error
        }
    });
}

} // namespace

std::string clipsFolderConflict(const std::string& folder)
{
    struct stat status = {};
    if (::lstat(folder.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
        return "cannot use the folder " + folder + ": it is a symbolic link";
    return {};
}

std::string copyClips(const RecorderDay& day, const std::string& folder, ExistingOutput existing)
{
    if (std::string conflict = clipsFolderConflict(folder); !conflict.empty())
        return conflict;
    std::error_code error;
    fs::create_directory(folder, error);
    if (error || !fs::is_directory(folder, error))
        return "cannot make the folder " + folder + ": " +
               (error ? error.message() : std::string("not a folder"));
    std::vector<char> buffer(kCopyChunkBytes);
    for (const Clip& clip : day.clips) {
        const std::string target = (fs::path(folder) / clip.name).string();
        if (std::string failed = copyClip(clip, target, existing, buffer); !failed.empty())
            return failed;
    }
    return {};
}

} // namespace archive
