// The retention pass on a thread of its own.
#include "RetentionWorker.h"

#include <exception>

namespace monitor {

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

void RetentionWorker::requestPass(const ClockReading& now)
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
        ClockReading now;
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
            if (m_confirmDate.exchange(false))
                m_retention->confirmDate();
            ArchiveRetention::Pass pass = m_retention->run(now, stop);
            m_ageHeld = pass.ageHeld;
            std::vector<std::string> lines = std::move(pass.lines);
            for (const std::string& line : lines)
                m_tell(line);
            if (!lines.empty() && m_report)
                m_report(std::move(lines));
        } catch (const std::exception& error) {
            tellStandardError(std::string("Archive: the retention pass failed: ") + error.what());
        } catch (...) {
            tellStandardError("Archive: the retention pass failed");
        }
        ++m_passes;
    }
}

} // namespace monitor
