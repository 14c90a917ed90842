// The archive's export for scripts:
//
//   export --day 2026-12-08 --key BUS-12_1 [--from 14:00] [--to 15:00]
//          [--gpx out.gpx] [--nmea out.nmea] [--clips FOLDER] [--archive FOLDER]...
//          [--force]
//   export --day 2026-12-08 [--archive FOLDER]    lists the day's recorders
//
// --key is the recorder's key in UTF-8 (or its folder's name); --from and
// --to are local times of the file names, hh:mm or hh:mm:ss, from inclusive,
// to exclusive ("24:00" is the end of the day); --clips copies the range's
// clips into FOLDER together with its GPX "route.gpx"; --archive defaults to
// the program's folder, and is given once per gateway's archive to read the
// recorder's day from all of them together (ArchiveSet.h). With --key at least
// one of --gpx, --nmea and --clips; without it none, and the day's recorders
// are printed, one a line. Outputs that exist already are refused (all named)
// unless --force; each output is
// written through writeOutputFile (OutputFile.h). Every line printed goes
// through terminalText (TerminalText.h).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace archive {

// Exit codes of the export.
inline constexpr int kExportDone = 0;
inline constexpr int kExportFailed = 1;   // no such folder, day or recorder, or an output failed
inline constexpr int kExportBadUsage = 2; // the command line is wrong

// args: the arguments after the program's name, with or without the leading
// "export". What was written goes to out, complaints to err.
int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace archive
