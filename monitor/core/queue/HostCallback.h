// The callback through which the receiver library reports its events to the
// program, and what it passes them to: the one HostEventSink that exists at
// the time (the program's event queue).
#pragma once

#include "kavrel.h"

#include <cstdint>

namespace monitor {

// Registered with GPRSRegisterCallbackInformation; called on the library's
// worker threads, by several at once. Passes the event to the HostEventSink
// that is connected at the time (none: the event is ignored), with the number
// of the connection that reported it, and returns 0. Nothing is thrown back
// into the library.
std::int32_t KAVREL_CALL HostCallback(const char* text, std::int32_t code, const void* data,
                                      std::int32_t length) noexcept;

// What HostCallback fills. One sink is connected at a time.
class HostEventSink
{
public:
    // Takes an event in; called by HostCallback on the library's worker
    // threads, several at once. connection: the number of the connection that
    // reported it. False when the event could not be made durable before the
    // station closed: the callback must then not return to the library.
    virtual bool post(const char* text, std::int32_t code, const void* data, std::int32_t length,
                      std::uint64_t connection) noexcept = 0;

protected:
    HostEventSink() = default;
    virtual ~HostEventSink() = default;
    HostEventSink(const HostEventSink&) = delete;
    HostEventSink& operator=(const HostEventSink&) = delete;

    // Makes this the sink HostCallback fills; throws std::logic_error while
    // another one is connected.
    void connectHostCallback();
    // Stops HostCallback from reaching this sink and waits until no callback
    // is inside it any more.
    void disconnectHostCallback() noexcept;

private:
    friend std::int32_t KAVREL_CALL HostCallback(const char*, std::int32_t, const void*,
                                                 std::int32_t) noexcept;

    // Callbacks that found this sink and have not left yet; guarded by the
    // process-wide lock in HostCallback.cpp.
    int m_callbacksInside = 0;
};

} // namespace monitor
