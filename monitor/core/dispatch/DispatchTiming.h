// DispatchTiming: an opt-in record of how long each tick of the event
// dispatcher holds the user-interface thread (and with it QueueLock, while
// recorders wait for their acknowledgements), for measuring the station under
// load. The environment variable STATION_DISPATCH_TIMING, read once when the
// dispatcher starts, names the file; unset or empty, no DispatchTiming exists
// and the window calls the dispatcher directly, so it costs nothing.
//
// One line per tick: when it started (microseconds after the first tick), the
// code of the event it handled (-1: none), how long it took (nanoseconds,
// steady_clock), the processor time the thread spent in it (nanoseconds; on a
// busy computer the thread may wait for a processor inside a tick, so this is
// the tick's own cost), whether it ran the once-a-second refresh (1 or 0) and
// the processor time the thread spent between the previous tick's end and this
// tick's start (nanoseconds: painting, other timers, receiving the next tick).
// The lines are appended once a second and at exit, so a station that is
// killed loses at most the last second.
//
// Threads: the user-interface thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace monitor {

class EventDispatcher;
class HostEventQueue;

class DispatchTiming
{
public:
    static constexpr const char* kEnvironmentVariable = "STATION_DISPATCH_TIMING";
    static constexpr std::int32_t kNoEvent = -1;
    static constexpr std::chrono::seconds kFlushInterval{1};

    // The record the environment asks for; none when it asks for none or its
    // file cannot be created (said on stderr).
    static std::unique_ptr<DispatchTiming> fromEnvironment();

    // Creates (or empties) the file at path; writing() tells whether it could.
    explicit DispatchTiming(const std::string& path);

    bool writing() const { return m_file != nullptr; }

    // Runs one dispatcher tick and records it.
    void timeTick(HostEventQueue& queue, EventDispatcher& dispatcher);

private:
    using Clock = std::chrono::steady_clock;

    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, FileCloser> m_file;
    Clock::time_point m_firstTick{};
    Clock::time_point m_lastFlush{};
    std::chrono::nanoseconds m_lastEndCpu{};
    bool m_started = false;
};

} // namespace monitor
