// The gateway's settings in tessaro.ini, its [Fleet] section:
//
//   [Fleet]
//   BROKER=mqtt://broker.example:1883   where to publish; absent: nowhere
//   PREFIX=tessaro/v1                   the first levels of every topic
//   NAME=depot-north                    the gateway's name in the fleet;
//                                       absent: the host's name, "-", the port
//   MAX_CLIP_BYTES=16777216             a larger clip is archived, not published
//
// Read as the station reads its [Archive] section (StationSettings.h): names
// without regard to case, ';' and '#' start comments, a value that cannot be
// used is told (file and line) and its default taken, unknown keys of [Fleet]
// are told and ignored, other sections belong to others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gateway {

inline constexpr std::uint64_t kDefaultMaxClipBytes = std::uint64_t{16} << 20;

struct FleetSettings
{
    std::string broker; // as written; checked with the command line's
    std::string prefix; // empty: the default
    std::string name;   // empty: the default
    std::uint64_t maxClipBytes = kDefaultMaxClipBytes;
    std::vector<std::string> problems;
};

// fileName only names the file in the problems.
FleetSettings parseFleetSettings(std::string_view text, std::string_view fileName);
// A missing file gives the defaults; one that cannot be read, the defaults and a problem.
FleetSettings readFleetSettings(const std::string& path);

// Whether text can stand before a topic's own levels: one or more levels of
// printable ASCII without wildcards, none empty.
bool isUsablePrefix(std::string_view text);

} // namespace gateway
