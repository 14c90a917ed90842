// Collects the receiver's log lines (time stamp stripped) through its window sink.
#pragma once

#include "DiagnosticLog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class LogCapture
{
public:
    kavrel::DiagnosticLog::WindowSink sink()
    {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line.size() >= kStampSize ? line.substr(kStampSize) : line);
            m_changed.notify_all();
        };
    }

    std::vector<std::string> lines()
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    bool has(const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }

    bool waitFor(const std::string& line,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return waitForCount(line, 1, timeout);
    }

    // Waits until the line has been written count times.
    bool waitForCount(const std::string& line, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count(m_lines.begin(), m_lines.end(), line)) >=
                   count;
        });
    }

    // True when the lines appear in this order (others may stand between them).
    bool inOrder(const std::vector<std::string>& expected)
    {
        std::lock_guard lock(m_mutex);
        auto at = m_lines.begin();
        for (const auto& e : expected) {
            at = std::find(at, m_lines.end(), e);
            if (at == m_lines.end())
                return false;
            ++at;
        }
        return true;
    }

private:
    static constexpr std::size_t kStampSize = 9; // "hh:mm:ss "
    std::mutex m_mutex;                          // guards m_lines
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};
