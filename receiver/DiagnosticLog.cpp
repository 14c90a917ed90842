#include "DiagnosticLog.h"

#include "DateTimeFormat.h"
#include "Paths.h"

#include <cstdio>

namespace kavrel {

namespace {
constexpr std::string_view kLinePattern = "hh:mm:ss ";
constexpr std::string_view kLogFolder = "log";
constexpr std::string_view kMonthPattern = "yyyy mm";
constexpr std::string_view kDayPattern = "dd ";
constexpr std::string_view kLogFileName = "Kavrel.log.txt";
} // namespace

DiagnosticLog::DiagnosticLog(std::atomic<bool>& stopping, Clock clock)
    : m_stopping(stopping), m_clock(std::move(clock))
{
}

void DiagnosticLog::configure(bool wantLog, std::string logFilePath)
{
    m_wantLog = wantLog;
    m_logFilePath = std::move(logFilePath);
}

void DiagnosticLog::setWindowSink(WindowSink sink)
{
    std::lock_guard lock(m_writeMutex);
    m_windowSink = std::move(sink);
    m_hasWindowSink = static_cast<bool>(m_windowSink);
}

void DiagnosticLog::LogLine(std::string_view text)
{
    if (m_stopping.load(std::memory_order_acquire))
        return;
    const bool toFile = m_wantLog && !m_logFilePath.empty();
    if (!toFile && !m_hasWindowSink.load(std::memory_order_acquire))
        return;
    try {
        std::string line = platform::formatDateTime(kLinePattern, m_clock());
        line.append(text);
        std::lock_guard lock(m_writeMutex);
        if (m_stopping.load(std::memory_order_acquire))
            return; // stopped while the line was formatted
        if (m_windowSink)
            m_windowSink(line);
        if (toFile)
            appendToFile(line);
    } catch (...) {
        // The log serves diagnosis only: a line that cannot be written is lost.
    }
}

void DiagnosticLog::stop()
{
    std::lock_guard lock(m_writeMutex);
    m_stopping.store(true, std::memory_order_release);
}

void DiagnosticLog::appendToFile(const std::string& line)
{
    std::FILE* file = std::fopen(m_logFilePath.c_str(), "ab");
    if (file == nullptr)
        return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fwrite("\r\n", 1, 2, file);
    std::fclose(file);
}

std::string DiagnosticLog::logFilePathFor(const std::string& hostFolder,
                                          const platform::LocalTime& date)
{
    const std::string month = platform::joinPath(platform::joinPath(hostFolder, kLogFolder),
                                                 platform::formatDateTime(kMonthPattern, date));
    return platform::joinPath(month, platform::formatDateTime(kDayPattern, date) +
                                         std::string(kLogFileName));
}

std::string DiagnosticLog::setUpLogFile(const std::string& hostFolder,
                                        const platform::LocalTime& date, bool saveData)
{
    if (!saveData)
        return {};
    const std::string logFolder = platform::joinPath(hostFolder, kLogFolder);
    platform::ensureFolder(logFolder);
    platform::ensureFolder(
        platform::joinPath(logFolder, platform::formatDateTime(kMonthPattern, date)));
    return logFilePathFor(hostFolder, date);
}

} // namespace kavrel
