// The library's running account: `LogLine` writes "hh:mm:ss " + text to the
// debug window (through a sink that the window installs) and appends it to the
// day's log file, each as the settings allow.
//
// Threads: `LogLine` is called from the host's thread, the accept thread and
// every connection worker at once. The file path and the want-log switch are
// set before any of those threads start and only read afterwards. m_writeMutex
// serialises the writes, so that lines never collide in the file, and guards
// the window sink, which the host's thread installs and removes. `Stopping`
// belongs to the library object; stop() sets it under m_writeMutex and LogLine
// tests it again under that lock, so that once stop() has returned no line
// reaches the window or the file, not even one that was being formatted.
#pragma once

#include "LocalTime.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace kavrel {

class DiagnosticLog
{
public:
    using Clock = std::function<platform::LocalTime()>;
    // Receives each whole line ("hh:mm:ss " + text), on the thread that logged it.
    using WindowSink = std::function<void(const std::string&)>;

    explicit DiagnosticLog(std::atomic<bool>& stopping, Clock clock = platform::localNow);

    // Set before the library starts threads.
    void configure(bool wantLog, std::string logFilePath);
    const std::string& logFilePath() const { return m_logFilePath; }

    void setWindowSink(WindowSink sink);

    void LogLine(std::string_view text);

    // Sets `Stopping` once no line is being written; from then on nothing is.
    void stop();

    // The day's log file under hostFolder: log/<yyyy mm>/<dd >Kavrel.log.txt.
    static std::string logFilePathFor(const std::string& hostFolder,
                                      const platform::LocalTime& date);

    // Creates the log folders for the date (a failure is ignored) and answers the
    // file's path when saveData is set; empty otherwise, and nothing is created.
    static std::string setUpLogFile(const std::string& hostFolder, const platform::LocalTime& date,
                                    bool saveData);

private:
    void appendToFile(const std::string& line);

    std::atomic<bool>& m_stopping;
    Clock m_clock;
    bool m_wantLog = false;
    std::string m_logFilePath;

    std::mutex m_writeMutex; // serialises the writes; guards m_windowSink
    WindowSink m_windowSink;
    // Whether m_windowSink is set; read without the lock so that a log with
    // nowhere to go costs the workers nothing.
    std::atomic<bool> m_hasWindowSink{false};
};

} // namespace kavrel
