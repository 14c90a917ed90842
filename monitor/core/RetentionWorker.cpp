// The retention pass on a thread of its own.
#include "RetentionWorker.h"

#include <cstdio>
#include <exception>

namespace monitor {

void RetentionWorker::tellStandardError(const std::string& line)
{
    std::fprintf(stderr, "Tessaro: %s\n", line.c_str());
    std::fflush(stderr);
}

RetentionWorker::RetentionWorker(std::unique_ptr<ArchiveRetention> retention, Report report,
                                 Tell tell)
    : m_retention(std::move(retention)), m_report(std::move(report)), m_tell(std::move(tell)),
      m_thread([this](std::stop_token stop) { run(std::move(stop)); })
{
}

RetentionWorker::~RetentionWorker()
{
    m_thread.request_stop(); // wakes the wait through its stop callback
    if (m_thread.joinable())
        m_thread.join();
}

void RetentionWorker::requestPass(const platform::LocalTime& now)
{
    {
        const std::lock_guard held(m_lock);
        m_request = now;
    }
    m_wake.notify_one();
}

void RetentionWorker::run(std::stop_token stop)
{
    while (true) {
        platform::LocalTime now;
        {
            std::unique_lock held(m_lock);
            if (!m_wake.wait(held, stop, [this] { return m_request.has_value(); }))
                return; // stop requested
            now = *m_request;
            m_request.reset();
        }
        // Nothing escapes the thread: a failing pass is told, and the next
        // request tries again.
        try {
            std::vector<std::string> lines = m_retention->run(now, stop).lines;
            for (const std::string& line : lines)
                m_tell(line);
            if (!lines.empty() && m_report)
                m_report(std::move(lines));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "Tessaro: Archive: the retention pass failed: %s\n", error.what());
        } catch (...) {
            std::fputs("Tessaro: Archive: the retention pass failed\n", stderr);
        }
        ++m_passes;
    }
}

} // namespace monitor
