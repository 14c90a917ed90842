// Records what the receiver reports to its host, for tests. The receiver calls
// a plain C callback, so the recorder is one process-wide instance; tests reset
// it at their start. A test may hold the callback up (gate) to see what the
// receiver does meanwhile.
#pragma once

#include "kavrel.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct HostEvent
{
    std::string text;
    std::int32_t code;
    std::string data; // the bytes passed, length as passed
};

class HostEvents
{
public:
    static HostEvents& instance();
    static std::int32_t KAVREL_CALL callback(const char* text, std::int32_t code, const void* data,
                                             std::int32_t length);

    void reset();

    // Holds every callback whose code matches until release() (or until closeGate()).
    void holdCode(std::int32_t code);
    void release();
    // Waits until a callback is being held.
    bool waitHeld(std::chrono::milliseconds timeout);

    // Waits until an event satisfies pred; true when one did.
    bool waitFor(const std::function<bool(const std::vector<HostEvent>&)>& pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForCode(std::int32_t code, std::size_t count = 1,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::vector<HostEvent> events();
    std::vector<HostEvent> eventsWithout(std::int32_t code);

private:
    std::mutex m_mutex; // guards everything below
    std::condition_variable m_changed;
    std::vector<HostEvent> m_events;
    std::int32_t m_holdCode = -1;
    bool m_held = false;
    bool m_released = false;
};
