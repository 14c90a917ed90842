// Reading the [Fleet] section of tessaro.ini.
#include "FleetSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace gateway {
namespace {

// A clip larger than this is never sent by a recorder (the library's packet ceiling).
constexpr std::uint64_t kMaxClipBytesLimit = std::uint64_t{1} << 31;

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

} // namespace

bool isUsablePrefix(std::string_view text)
{
    if (text.empty() || text.front() == '/' || text.back() == '/' ||
        text.find("//") != std::string_view::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > ' ' && byte < 0x7F && c != '+' && c != '#';
    });
}

FleetSettings parseFleetSettings(std::string_view text, std::string_view fileName)
{
    FleetSettings settings;
    bool inFleet = false;
    int lineNumber = 0;
    const auto tell = [&](const std::string& what) {
        settings.problems.push_back(std::string(fileName) + " line " + std::to_string(lineNumber) +
                                    ": " + what);
    };
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line = trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inFleet = close != std::string_view::npos &&
                      sameName(trim(line.substr(1, close - 1)), "Fleet");
            continue;
        }
        if (!inFleet)
            continue;
        const std::size_t eq = line.find('=');
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : trim(line.substr(eq + 1));
        const std::string quoted = "\"" + std::string(value) + "\"";
        if (sameName(key, "BROKER")) {
            settings.broker = value;
        } else if (sameName(key, "PREFIX")) {
            if (isUsablePrefix(value))
                settings.prefix = value;
            else
                tell("PREFIX must be topic levels without wildcards, not " + quoted +
                     "; the default is used");
        } else if (sameName(key, "NAME")) {
            settings.name = value;
        } else if (sameName(key, "MAX_CLIP_BYTES")) {
            std::uint64_t bytes = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, bytes);
            if (!value.empty() && ec == std::errc() && ptr == end && bytes <= kMaxClipBytesLimit)
                settings.maxClipBytes = bytes;
            else
                tell("MAX_CLIP_BYTES must be a whole number of bytes up to " +
                     std::to_string(kMaxClipBytesLimit) + ", not " + quoted + "; " +
                     std::to_string(kDefaultMaxClipBytes) + " is used");
        } else {
            tell("unknown setting \"" + std::string(key) + "\" in [Fleet] is ignored");
        }
    }
    return settings;
}

FleetSettings readFleetSettings(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found)
        return {};
    std::ifstream in;
    if (type == std::filesystem::file_type::regular)
        in.open(path, std::ios::binary);
    if (!in.is_open()) {
        FleetSettings defaults;
        defaults.problems.push_back(
            name + " cannot be read (" +
            (type == std::filesystem::file_type::regular ? std::strerror(errno) : "not a file") +
            "); the defaults are used");
        return defaults;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return parseFleetSettings(content.str(), name);
}

} // namespace gateway
