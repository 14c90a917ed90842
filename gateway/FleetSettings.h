// The gateway's settings in tessaro.ini, its [Fleet] section:
//
//   [Fleet]
//   BROKER=mqtt://broker.example:1883   where to publish; absent: nowhere
//   PREFIX=tessaro/v1                   the first levels of every topic
//   NAME=depot-north                    the gateway's name in the fleet;
//                                       absent: the host's name, "-", the port
//   MAX_CLIP_BYTES=16777216             a larger clip is archived, not published
//                                       (or MAX_CLIP_MIB=16)
//
// The gateway reads the same tessaro.ini as the station, through the station's
// reader (StationSettings.h): its [Archive] limits and its [Fleet] section
// with the names above, one list of problems for the whole file.
#pragma once

#include "StationSettings.h"

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
// The [Fleet] part of the station's reading of the file, with all its problems.
FleetSettings fleetSettingsOf(const monitor::StationSettings& settings);

} // namespace gateway
