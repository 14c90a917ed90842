// The station's own settings file, tessaro.ini beside the program: a plain INI
// file whose [Archive] section sets the archive's limits.
//
//   [Archive]
//   KEEP_DAYS=30       whole days kept, today counted; 0 or absent: no age limit
//   MIN_FREE_GIB=2     GiB kept free on the archive's file system by deleting
//                      the oldest days; absent: none, and less than 2 GiB
//                      free is only told
//
//   [Fleet]
//   BROKER=mqtt://HOST:PORT   the station watches a fleet through this broker
//                             (the command line's --fleet wins); absent: the
//                             station receives its own recorders
//   PREFIX=tessaro/v1         the fleet's topic prefix; levels separated by
//                             "/", no wildcard ("+", "#"), no empty level
//   MAX_CLIP_MIB=64           the longest clip: a station refuses longer ones
//                             from the broker unread, a gateway archives them
//                             but does not publish them; 1 to 1024
//   MAX_CLIP_BYTES=16777216   the same limit in bytes (the later line wins)
//   NAME=depot-north          a gateway's name in the fleet (stations do not
//                             use it)
//
// Section and key names are matched without regard to case; lines starting
// with ';' or '#' are comments. What cannot be used is told (file and line)
// and ignored: a value (its default is taken), an unknown name, an unknown
// section with its lines, a line that is no setting or stands before
// [Archive] or [Fleet]. A name given again is told, and the later value used. A missing
// file is no problem.
#pragma once

#include "ArchiveRetention.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

inline constexpr const char* kSettingsFileName = "tessaro.ini";

struct StationSettings
{
    RetentionLimits retention;
    std::string fleetBroker;           // as written; checked where it is used
    std::string fleetPrefix;           // empty: the fleet's default
    std::string fleetName;             // a gateway's name; empty: its default
    std::size_t fleetMaxClipBytes = 0; // 0: the program's default
    // What could not be used, one sentence each, for standard error and the window.
    std::vector<std::string> problems;
};

// fileName only names the file in the problems.
StationSettings parseStationSettings(std::string_view text, std::string_view fileName);
// Reads the file; one that does not exist gives the defaults, one that cannot
// be read the defaults and a problem.
StationSettings readStationSettings(const std::string& path);

} // namespace monitor
