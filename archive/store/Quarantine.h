// Quarantine: the events that the archive can never take, set aside whole
// beside it so that they hold no recorder and are not tried again at every
// start. Each is two files in <program folder>/quarantine/:
//
//   yyyymmdd-hhnnss-<id>.event   the event's data as the library passed it
//                                (for a position, the sentence and its zero byte)
//   yyyymmdd-hhnnss-<id>.txt     what it was, one "name: value" line each:
//                                  key: the recorder's folder name (ArchiveNames.h)
//                                  code: the event code, decimal
//                                  received: yyyy/mm/dd hh:mm:ss, as journaled
//                                  set aside: yyyy/mm/dd hh:mm:ss
//                                  reason: why the archive could not take it
//
// The time in the names is when it was set aside, <id> its number in the
// journal; a second pair of the same name takes the suffix "_2" and so on,
// as archived files do. Both are written whole under a temporary name first
// (ArchiveFiles.h), the data before its text, so a text always has its data.
// The retention pass never deletes this folder; the operator does.
#pragma once

#include "ArchiveFiles.h"
#include "LocalTime.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace monitor {

inline constexpr std::string_view kQuarantineFolderName = "quarantine";

struct QuarantinedEvent
{
    std::uint64_t id = 0;
    std::string_view key; // Windows-1252 bytes
    std::int32_t code = 0;
    platform::LocalTime receivedAt;
    std::span<const std::uint8_t> data;
};

// Writes the event's pair into the quarantine folder of programFolder (made
// when missing). Gives the data file's path, or the error that stopped it.
WrittenFile quarantineEvent(const std::string& programFolder, const QuarantinedEvent& event,
                            const platform::LocalTime& now, std::string_view reason);

} // namespace monitor
