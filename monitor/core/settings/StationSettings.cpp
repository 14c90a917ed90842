// Reading tessaro.ini.
#include "StationSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace monitor {
namespace {

constexpr std::string_view kArchiveSection = "Archive";
constexpr int kMaxKeepDays = 36500;
constexpr double kMaxMinFreeGib = 1e6;
constexpr double kBytesPerGib = 1024.0 * 1024.0 * 1024.0;
constexpr std::size_t kMaxClipMib = 1024;

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

template <typename T> bool parseWhole(std::string_view text, T& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// A topic prefix: levels separated by "/", none empty, no wildcard, printable.
bool usablePrefix(std::string_view prefix)
{
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/' ||
        prefix.find("//") != std::string_view::npos)
        return false;
    return std::all_of(prefix.begin(), prefix.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > ' ' && u < 0x7F && c != '+' && c != '#';
    });
}

} // namespace

StationSettings parseStationSettings(std::string_view text, std::string_view fileName)
{
    enum class Section
    {
        None,    // before the first section
        Archive, // the archive's limits
        Fleet,   // the fleet's broker
        Unknown, // another, told at its name; its lines are ignored
    };
    StationSettings settings;
    Section section = Section::None;
    int lineNumber = 0;
    int keepDaysLine = 0, minFreeLine = 0; // where each was last given; 0: not given
    auto tell = [&](const std::string& what) {
        settings.problems.push_back(std::string(fileName) + " line " + std::to_string(lineNumber) +
                                    ": " + what);
    };
    // A later line of a name given before is used, and the earlier one told.
    auto givenAgain = [&](int& lastLine, std::string_view name) {
        if (lastLine != 0)
            tell(std::string(name) + " is given again (before on line " + std::to_string(lastLine) +
                 "); this later value is used");
        lastLine = lineNumber;
    };
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                close == std::string_view::npos ? line : trim(line.substr(1, close - 1));
            section = close == std::string_view::npos   ? Section::Unknown
                      : sameName(name, kArchiveSection) ? Section::Archive
                      : sameName(name, "Fleet")         ? Section::Fleet
                                                        : Section::Unknown;
            if (section == Section::Unknown)
                tell(close == std::string_view::npos
                         ? "\"" + std::string(line) +
                               "\" is not a section name such as [Archive]; the lines up to "
                               "the next section are ignored"
                         : "unknown section [" + std::string(name) +
                               "] is ignored with its lines (the station reads [Archive] and "
                               "[Fleet])");
            continue;
        }
        if (section == Section::Unknown)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            tell("\"" + std::string(line) + "\" is not a setting (name=value) and is ignored");
            continue;
        }
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (section == Section::None) {
            tell("\"" + std::string(key) + "\" stands before [Archive] or [Fleet] and is ignored");
            continue;
        }
        const std::string quoted = "\"" + std::string(value) + "\"";
        if (section == Section::Fleet) {
            if (sameName(key, "BROKER")) {
                settings.fleetBroker = value;
            } else if (sameName(key, "PREFIX")) {
                if (usablePrefix(value))
                    settings.fleetPrefix = value;
                else
                    tell("PREFIX must be topic levels separated by \"/\", with no empty level and "
                         "no \"+\" or \"#\", not " +
                         quoted + "; the default prefix is used");
            } else if (sameName(key, "NAME")) {
                settings.fleetName = value;
            } else if (sameName(key, "MAX_CLIP_BYTES")) {
                std::size_t bytes = 0;
                if (parseWhole(value, bytes) && bytes >= 1 && bytes <= (kMaxClipMib << 20))
                    settings.fleetMaxClipBytes = bytes;
                else
                    tell("MAX_CLIP_BYTES must be a whole number of bytes from 1 to " +
                         std::to_string(kMaxClipMib << 20) + ", not " + quoted +
                         "; the default is used");
            } else if (sameName(key, "MAX_CLIP_MIB")) {
                std::size_t mib = 0;
                if (parseWhole(value, mib) && mib >= 1 && mib <= kMaxClipMib)
                    settings.fleetMaxClipBytes = mib << 20;
                else
                    tell("MAX_CLIP_MIB must be a whole number of MiB from 1 to " +
                         std::to_string(kMaxClipMib) + ", not " + quoted + "; the default is used");
            } else {
                tell("unknown setting \"" + std::string(key) + "\" in [Fleet] is ignored");
            }
            continue;
        }
        if (sameName(key, "KEEP_DAYS")) {
            givenAgain(keepDaysLine, "KEEP_DAYS");
            int days = 0;
            if (parseWhole(value, days) && days >= 0 && days <= kMaxKeepDays)
                settings.retention.keepDays = days;
            else {
                settings.retention.keepDays = 0;
                tell("KEEP_DAYS must be a whole number of days from 0 to " +
                     std::to_string(kMaxKeepDays) + ", not " + quoted + "; no age limit is used");
            }
        } else if (sameName(key, "MIN_FREE_GIB")) {
            givenAgain(minFreeLine, "MIN_FREE_GIB");
            double gib = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, gib);
            if (!value.empty() && ec == std::errc() && ptr == end && std::isfinite(gib) &&
                gib >= 0 && gib <= kMaxMinFreeGib) {
                settings.retention.minFreeBytes = static_cast<std::uint64_t>(gib * kBytesPerGib);
                settings.retention.lowFreeWarningBytes = 0; // the operator chose
            } else {
                settings.retention.minFreeBytes = 0;
                settings.retention.lowFreeWarningBytes = RetentionLimits{}.lowFreeWarningBytes;
                tell("MIN_FREE_GIB must be a number of GiB from 0 to 1000000, not " + quoted +
                     "; no free-space limit is used");
            }
        } else {
            tell("unknown setting \"" + std::string(key) + "\" in [Archive] is ignored");
        }
    }
    return settings;
}

StationSettings readStationSettings(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found)
        return {};
    std::ifstream in;
    if (type == std::filesystem::file_type::regular)
        in.open(path, std::ios::binary);
    if (!in.is_open()) {
        StationSettings defaults;
        defaults.problems.push_back(
            name + " cannot be read (" +
            (type == std::filesystem::file_type::regular ? std::strerror(errno) : "not a file") +
            "); the defaults are used");
        return defaults;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseStationSettings(text.str(), name);
}

} // namespace monitor
