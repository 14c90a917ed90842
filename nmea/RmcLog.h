// The position sentences of a recorded drive: the RMC sentences ("$GPRMC",
// or "$GNRMC" from a receiver that combines satellite systems) of an NMEA log,
// as a receiver wrote it: one sentence a line, lines ended by LF or CR LF,
// other sentence kinds, comments and blank lines in between.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace nmea {

// The log's RMC sentences in order, each without its line end, as a recorder
// sends them in a position packet.
std::vector<std::string> rmcSentencesOf(std::string_view log);

// The sentence as a live recorder would send it at `when` (UTC): the time of
// day (keeping the log's number of decimals) and the date replaced, the
// checksum recomputed (added when the log had none). A replayed log thus
// carries today's date, not the day it was recorded, which navigation
// software would take for a rollover of the satellites' week number. A line
// with fewer than ten fields, or not starting with "$", is returned unchanged.
std::string redatedRmc(std::string_view sentence,
                       std::chrono::sys_time<std::chrono::milliseconds> when);

} // namespace nmea
