// StationLog: what happened at the station, for the operator to read
// afterwards: who logged in and out, the alarm, the archive's failures and
// retention, the recorders' port and the GPS port, start and stop.
//
// One text file a day, beside the receiver library's log in the program
// folder: log/<yyyy mm>/<dd> Tessaro.log.txt (log/2026 12/08 Tessaro.log.txt),
// named by the date of each line, so a station that runs past midnight goes
// on in the next day's file. One line per event, ended by LF:
//
//     2026/12/08 14:30:05 LOGIN      SN1001_ID7 from 127.0.0.1
//
// the local time, the kind (a fixed word, padded to kKindWidth), then the
// details. Text from the wire goes through wireText(); every line's details
// lose their control characters as well, so no text can start a line of its
// own. The retention deletes the files by the archive's limits
// (ArchiveRetention.h), and nothing reads them back.
//
// A line that cannot be written is lost, never the station's trouble: the
// first failure is told through tell (standard error), and the next one only
// after a line was written again.
//
// Threading: write() from any thread (the window's, the retention's, the
// receiver's through the storage guard); m_lock serialises the appends and
// guards m_failing.
#pragma once

#include "ArchiveDate.h"
#include "Clock.h"
#include "StandardError.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

// The kinds of line, each a fixed word.
namespace LogKind {
inline constexpr std::string_view start = "START";
inline constexpr std::string_view stop = "STOP";
inline constexpr std::string_view login = "LOGIN";
inline constexpr std::string_view logout = "LOGOUT";
inline constexpr std::string_view timeout = "TIMEOUT";
inline constexpr std::string_view alarm = "ALARM";
inline constexpr std::string_view alarmCleared = "ALARM-OFF";
inline constexpr std::string_view storage = "STORAGE";
inline constexpr std::string_view retention = "RETENTION";
inline constexpr std::string_view portFailed = "PORT-FAIL";
inline constexpr std::string_view portListening = "PORT-OK";
inline constexpr std::string_view gpsLost = "GPS-LOST";
inline constexpr std::string_view gpsBack = "GPS-BACK";
} // namespace LogKind

class StationLog
{
public:
    // The folder beside the day folders, shared with the receiver library's log.
    static constexpr std::string_view kFolderName = "log";
    // After "dd " in a file's name.
    static constexpr std::string_view kFileName = "Tessaro.log.txt";
    // The kind is padded to this many characters, so the details line up.
    static constexpr std::size_t kKindWidth = 10;

    using Tell = std::function<void(const std::string& line)>;

    // clock dates and times the lines; it is read on every writing thread.
    StationLog(
        std::string programFolder, const platform::Clock& clock,
        Tell tell = [](const std::string& line) { tellStandardError(line); });

    // Appends one line; never throws, never fails towards its caller.
    void write(std::string_view kind, std::string_view details);

    // Windows-1252 text from the wire, for a line's details: control
    // characters, and the five bytes Windows-1252 leaves undefined (C1
    // controls once in UTF-8), become "%" and two hex digits, and so does a
    // "%" that stands before two hex digits ("%25"); the rest becomes UTF-8.
    static std::string wireText(std::string_view windows1252);

    // The day's file under the program folder.
    static std::string pathFor(const std::string& programFolder, const platform::LocalTime& date);

    struct File
    {
        archive::Date date;
        std::string path;
    };
    // The station's log files under the program folder, oldest first: only
    // plain files named as pathFor() names them, in plain folders.
    static std::vector<File> list(const std::string& programFolder);

private:
    const std::string m_programFolder;
    const platform::Clock& m_clock;
    const Tell m_tell;
    std::mutex m_lock;      // serialises the appends; guards m_failing
    bool m_failing = false; // the last line could not be written, and that was told
};

} // namespace monitor
