// RetentionWorker: runs ArchiveRetention's pass off the user-interface thread,
// each time the station asks (at start and once a minute).
//
// Ownership: after construction the worker's thread alone uses the
// ArchiveRetention. The station asks for a pass with its clocks read on its
// own thread (the wall clock the archive names its day folders by, so that
// both agree on which day is today, and the monotonic one the wall clock is
// checked against). m_lock guards m_request, the clocks of the pass asked for
// and not yet begun (a newer request replaces it);
// m_wake wakes the thread for a request or a stop. After each pass that has
// something to tell, the thread writes the lines through tell (standard error)
// and hands them to report, still on its thread; the station's report queues
// them to the user-interface thread. The destructor requests the stop (a pass
// under way ends after its current deletion) and joins the thread, so report
// is never called after it returns.
#pragma once

#include "ArchiveRetention.h"
#include "StandardError.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace monitor {

class RetentionWorker
{
public:
    // How often the station asks for a pass.
    static constexpr std::chrono::milliseconds kInterval{60000};

    using Report = std::function<void(std::vector<std::string> lines)>;
    using Tell = std::function<void(const std::string& line)>;
    RetentionWorker(
        std::unique_ptr<ArchiveRetention> retention, Report report,
        Tell tell = [](const std::string& line) { tellStandardError(line); });
    ~RetentionWorker();
    RetentionWorker(const RetentionWorker&) = delete;
    RetentionWorker& operator=(const RetentionWorker&) = delete;

    // Asks for a pass with the clocks read now (any thread; returns at once).
    void requestPass(const ClockReading& now);
    // The operator confirmed the date: the next pass trusts the clock (any
    // thread; ask for a pass to have it at once).
    void confirmDate() { m_confirmDate = true; }
    // Whether the last pass held deletion by age (any thread).
    bool ageHeld() const { return m_ageHeld.load(); }
    // Passes finished so far (any thread).
    std::uint64_t passes() const { return m_passes.load(); }

private:
    void run(std::stop_token stop);

    const std::unique_ptr<ArchiveRetention> m_retention; // the worker's thread only
    const Report m_report;
    const Tell m_tell;
    std::atomic<std::uint64_t> m_passes{0};
    std::atomic<bool> m_confirmDate{false};
    std::atomic<bool> m_ageHeld{false};
    std::mutex m_lock;                     // guards m_request
    std::optional<ClockReading> m_request; // under m_lock
    std::condition_variable_any m_wake;
    std::jthread m_thread; // last: starts once everything above exists
};

} // namespace monitor
