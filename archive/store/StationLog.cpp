// The station's daily log: its lines, its files' names and its escaping.
#include "StationLog.h"

#include "DateTimeFormat.h"
#include "FileDescriptor.h"
#include "Paths.h"
#include "TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

namespace monitor {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMonthPattern = "yyyy mm";
constexpr std::string_view kDayPattern = "dd ";
constexpr std::string_view kTimePattern = "yyyy/mm/dd hh:mm:ss ";
constexpr std::size_t kYearDigits = 4;
constexpr std::size_t kTwoDigits = 2;
constexpr mode_t kFileMode = 0644;
constexpr char kHex[] = "0123456789ABCDEF";

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Bytes that would break a line or act on a terminal: C0 controls and DEL.
bool isControl(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// The five bytes Windows-1252 leaves undefined; UTF-8 makes C1 controls of them.
bool isUndefinedInWindows1252(unsigned char byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

void appendEscaped(std::string& out, unsigned char byte)
{
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Exactly `digits` decimal digits at the front of text, as a number.
std::optional<int> fixedDigits(std::string_view text, std::size_t digits)
{
    if (text.size() < digits)
        return std::nullopt;
    return archive::decimalDigits(text.substr(0, digits));
}

// "yyyy mm" of a month folder.
std::optional<archive::Date> monthOf(std::string_view name)
{
    const auto year = fixedDigits(name, kYearDigits);
    if (!year || name.size() != kYearDigits + 1 + kTwoDigits || name[kYearDigits] != ' ')
        return std::nullopt;
    const auto month = fixedDigits(name.substr(kYearDigits + 1), kTwoDigits);
    if (!month)
        return std::nullopt;
    return archive::Date{*year, *month, 1};
}

// "dd Tessaro.log.txt" of a day's file.
std::optional<int> dayOf(std::string_view name)
{
    const auto day = fixedDigits(name, kTwoDigits);
    if (!day || name.substr(kTwoDigits) != " " + std::string(StationLog::kFileName))
        return std::nullopt;
    return day;
}

// The entries of a folder of the given type, not following symbolic links.
std::vector<fs::path> entriesOf(const fs::path& folder, fs::file_type type)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->symlink_status(typeError).type() == type)
            found.push_back(it->path());
    }
    return found;
}

} // namespace

StationLog::StationLog(std::string programFolder, const platform::Clock& clock, Tell tell)
    : m_programFolder(std::move(programFolder)), m_clock(clock), m_tell(std::move(tell))
{
}

void StationLog::write(std::string_view kind, std::string_view details)
{
    try {
        const platform::LocalTime now = m_clock.now();
        std::string line = platform::formatDateTime(kTimePattern, now);
        line += kind;
        line.append(kind.size() < kKindWidth ? kKindWidth - kind.size() : 1, ' ');
        for (const char c : details) {
            if (isControl(static_cast<unsigned char>(c)))
                appendEscaped(line, static_cast<unsigned char>(c));
            else
                line += c;
        }
        line += '\n';

        const std::lock_guard held(m_lock);
        const std::string path = pathFor(m_programFolder, now);
        const fs::path month = fs::path(path).parent_path();
        platform::ensureFolder(month.parent_path().string());
        platform::ensureFolder(month.string());
        int error = 0;
        platform::FileDescriptor file(platform::retryOnInterrupt([&] {
            return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC,
                          kFileMode);
        }));
        if (!file.valid())
            error = errno;
        else if ((error = platform::writeAll(file.get(), std::as_bytes(std::span(line)))) == 0)
            error = file.close();
        if (error == 0) {
            m_failing = false;
        } else if (!m_failing) {
            m_failing = true;
            m_tell("the station log cannot be written: " + path + ": " + std::strerror(error) +
                   "; its lines are lost until it can");
        }
    } catch (...) {
        // Only memory can fail here; the line is lost.
    }
}

std::string StationLog::wireText(std::string_view windows1252)
{
    std::string escaped;
    escaped.reserve(windows1252.size());
    for (std::size_t i = 0; i < windows1252.size(); ++i) {
        const auto byte = static_cast<unsigned char>(windows1252[i]);
        const bool escapeLike = byte == '%' && i + 2 < windows1252.size() &&
                                isHexDigit(windows1252[i + 1]) && isHexDigit(windows1252[i + 2]);
        if (isControl(byte) || isUndefinedInWindows1252(byte) || escapeLike)
            appendEscaped(escaped, byte);
        else
            escaped += windows1252[i];
    }
    return platform::windows1252ToUtf8(escaped);
}

std::string StationLog::pathFor(const std::string& programFolder, const platform::LocalTime& date)
{
    const std::string month = platform::joinPath(platform::joinPath(programFolder, kFolderName),
                                                 platform::formatDateTime(kMonthPattern, date));
    return platform::joinPath(month,
                              platform::formatDateTime(kDayPattern, date) + std::string(kFileName));
}

std::vector<StationLog::File> StationLog::list(const std::string& programFolder)
{
    std::vector<File> files;
    const fs::path logFolder = fs::path(programFolder) / kFolderName;
    std::error_code ec;
    if (fs::symlink_status(logFolder, ec).type() != fs::file_type::directory)
        return files;
    for (const fs::path& monthFolder : entriesOf(logFolder, fs::file_type::directory)) {
        const std::optional<archive::Date> month = monthOf(monthFolder.filename().string());
        if (!month)
            continue;
        for (const fs::path& file : entriesOf(monthFolder, fs::file_type::regular)) {
            const std::optional<int> day = dayOf(file.filename().string());
            const archive::Date date{month->year, month->month, day.value_or(0)};
            if (day && archive::isValidDate(date))
                files.push_back({date, file.string()});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const File& a, const File& b) { return a.date < b.date; });
    return files;
}

} // namespace monitor
