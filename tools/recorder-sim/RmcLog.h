// The position sentences of a recorded drive: the RMC sentences ("$GPRMC",
// or "$GNRMC" from a receiver that combines satellite systems) of an NMEA log,
// as a receiver wrote it: one sentence a line, lines ended by LF or CR LF,
// other sentence kinds, comments and blank lines in between.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace recorder {

// The log's RMC sentences in order, each without its line end, as a recorder
// sends them in a position packet.
std::vector<std::string> rmcSentencesOf(std::string_view log);

} // namespace recorder
