// HostCallback, and the process-wide record of which HostEventSink it fills.
#include "HostCallback.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <type_traits>

namespace monitor {

static_assert(std::is_convertible_v<decltype(&HostCallback), KavrelHostCallback>,
              "HostCallback must be registrable with the receiver library");

namespace {

// The sink that HostCallback fills. The library may call in at any time, from
// any of its threads, also while a sink is being destroyed and during the
// process's exit; so the record is never destroyed, and a sink is destroyed
// only once every callback that found it has left it.
struct CurrentSink
{
    // Guards sink and every sink's m_callbacksInside; held only for a few
    // instructions, never while a callback waits.
    std::mutex lock;
    HostEventSink* sink = nullptr;
    // Signalled when the last callback leaves a sink.
    std::condition_variable callbackLeft;
};

CurrentSink& currentSink()
{
    static CurrentSink* const current = new CurrentSink;
    return *current;
}

// The number of the connection that the calling thread serves. The library
// serves each connection on a worker thread of its own, never reused for
// another, and reports every event of a connection from that thread; so a
// number drawn once per thread, never drawn again, tells connections apart,
// also two that carry the same key (a recorder that dials in again before its
// old connection has timed out).
std::uint64_t connectionOfThisThread()
{
    static std::atomic<std::uint64_t> nextConnection{1};
    thread_local const std::uint64_t connection = nextConnection.fetch_add(1);
    return connection;
}

// A packet that could not be stored before the station closed must never be
// acknowledged, and the library acknowledges once the callback returns: the
// worker stays here until the process ends. The program never stops the
// library, so nothing waits for such a worker; its recorder sends the packet
// again to the next station.
[[noreturn]] void holdUntilExit()
{
    static std::mutex* const never = new std::mutex;
    static std::condition_variable* const nothing = new std::condition_variable;
    std::unique_lock held(*never);
    for (;;)
        nothing->wait(held);
}

} // namespace

void HostEventSink::connectHostCallback()
{
    CurrentSink& current = currentSink();
    const std::lock_guard held(current.lock);
    if (current.sink != nullptr)
        throw std::logic_error("an event queue exists already");
    current.sink = this;
}

void HostEventSink::disconnectHostCallback() noexcept
{
    CurrentSink& current = currentSink();
    std::unique_lock held(current.lock);
    if (current.sink == this)
        current.sink = nullptr;
    // The sink has woken the callbacks inside before, and they leave promptly.
    current.callbackLeft.wait(held, [this] { return m_callbacksInside == 0; });
}

std::int32_t KAVREL_CALL HostCallback(const char* text, std::int32_t code, const void* data,
                                      std::int32_t length) noexcept
{
    CurrentSink& current = currentSink();
    HostEventSink* sink = nullptr;
    {
        const std::lock_guard held(current.lock);
        sink = current.sink;
        if (sink == nullptr)
            return 0;
        ++sink->m_callbacksInside;
    }
    const bool stored = sink->post(text, code, data, length, connectionOfThisThread());
    {
        const std::lock_guard held(current.lock);
        if (--sink->m_callbacksInside == 0)
            current.callbackLeft.notify_all();
    }
    if (!stored)
        holdUntilExit();
    return 0;
}

} // namespace monitor
