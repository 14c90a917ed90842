#include "ExportFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

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

std::string nmeaLog(const RecorderDay& day)
{
    std::string log;
    for (const Position& p : day.positions) {
        if (p.sentence.empty())
            continue;
        log.append(p.sentence).push_back('\n');
    }
    return log;
}

std::string writeFileWhole(const std::string& path, std::string_view bytes)
{
    const fs::path target(path);
    fs::path temporary = target;
    temporary += ".partial";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            return "cannot write " + path + ": " + std::strerror(errno);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            const std::string reason = std::strerror(errno);
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return "cannot write " + path + ": " + reason;
        }
    }
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return "cannot write " + path + ": " + error.message();
    }
    return {};
}

std::string copyClips(const RecorderDay& day, const std::string& folder)
{
    std::error_code error;
    fs::create_directory(folder, error);
    if (error || !fs::is_directory(folder, error))
        return "cannot make the folder " + folder + ": " +
               (error ? error.message() : std::string("not a folder"));
    for (const Clip& clip : day.clips) {
        const fs::path target = fs::path(folder) / fs::path(clip.path).filename();
        fs::copy_file(clip.path, target, fs::copy_options::overwrite_existing, error);
        if (error)
            return "cannot copy " + clip.path + " to " + target.string() + ": " + error.message();
    }
    return {};
}

} // namespace archive
