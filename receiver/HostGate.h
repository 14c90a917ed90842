// The one door through which the library's threads call into the host: its
// callback, and the host's Qt event loop that carries log lines to the debug
// window. Once the process has begun to exit the door stays shut, so that no
// worker runs host code while the host's statics are being destroyed.
//
// The library does nothing else at exit: GPRSFree is its one orderly stop.
// Workers still running at exit are ended by the process's end.
//
// Threads: any thread passes through; close() runs on the exiting thread.
// A pass touches only the two atomics, so the acknowledgement path takes no
// shared lock. m_mutex and m_idle serve only close(): the last pass to leave
// a shut gate takes m_mutex to wake it, so that no wake-up is lost.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kavrel {

class HostGate
{
public:
    // How long exit waits for calls already inside the host. A host callback
    // that waits for the exiting thread would otherwise hold the exit up for good.
    static constexpr std::chrono::milliseconds kExitWait{250};

    // The gate of this process; never destroyed, so that threads still running
    // during exit can always ask it.
    static HostGate& process();

    // Shuts the process's gate when the process begins to exit. Safe to call
    // more than once; the first call registers the exit step.
    static void closeAtProcessExit();

    // One call into the host: while it exists, close() waits. Test with
    // operator bool: false when the gate is shut and the call must not be made.
    class Pass
    {
    public:
        explicit Pass(HostGate& gate = HostGate::process());
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return m_open; }

    private:
        HostGate& m_gate;
        bool m_open;
    };

    // Lets no new call through, then waits up to wait for those under way.
    void close(std::chrono::milliseconds wait);

private:
    void leave();

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_inside{0}; // passes under way, and ones just turned back
};

} // namespace kavrel
