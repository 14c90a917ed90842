// The program's event queue: the ring of event slots with its lock and flags,
// how the receiver library's events are taken in, and how the dispatcher takes
// them out.
#pragma once

#include "EventQueue.h"
#include "HostCallback.h"
#include "QueueTreatment.h"

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <utility>

namespace monitor {

// Threads. Producers are the receiver library's worker threads, one per
// connection, several at once; they enter through HostCallback. The one
// consumer is the user-interface thread: its dispatcher takes at most one event
// per tick with takeOne().
//
// QueueLock (re-entrant) guards the ring (its slots and both indices),
// QueueBusy, the count of waiting producers and the lock depth. QueueFull and
// the closing flag are written only under QueueLock but read without it when a
// callback enters, so both are atomics.
//
// The dispatcher holds QueueLock for its whole tick, through its window
// updates, file writes and message processing, not just while it copies: the
// event it handles is the slot at ReadIndex itself, which stays unchanged only
// while no producer can write the ring. A producer that reports meanwhile waits
// for the lock, and with it that recorder's acknowledgement; the recorders are
// thus paced by the program.
//
// Full ring. A producer with a packet (data the library acknowledges only once
// the callback has returned) or a logout waits on m_slotFreed until a slot is
// free, releasing QueueLock and clearing QueueBusy while it waits: nothing
// acknowledged is lost, and the recorder waits instead. Notices (connection
// timed out, data received) are dropped while the ring is full or while
// packets wait for the slots. The user-interface thread never waits for a
// producer: a producer holds QueueLock only for one copy, never while it waits,
// and a callback made on the thread that already holds QueueLock does not wait.
//
// Stop. shutdown() wakes every waiting producer, whose event is then dropped,
// as is every later one. The destructor shuts down, stops HostCallback from
// reaching this queue and waits until no callback is inside it any more.
class HostEventQueue
{
public:
    // QueueLock held for the life of the object; re-entrant on the holding thread.
    class Lock
    {
    public:
        explicit Lock(HostEventQueue& queue) : m_queue(queue) { m_queue.acquire(); }
        ~Lock() { m_queue.release(); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        friend class HostEventQueue;
        HostEventQueue& m_queue;
    };

    // The queue starts empty and becomes the one that HostCallback fills. One
    // exists at a time; a second one throws std::logic_error.
    HostEventQueue();
    // Must not run on a thread that holds QueueLock.
    ~HostEventQueue();
    HostEventQueue(const HostEventQueue&) = delete;
    HostEventQueue& operator=(const HostEventQueue&) = delete;

    [[nodiscard]] Lock lock() { return Lock(*this); }

    // The dispatcher's take, under QueueLock: unless QueueBusy is set or the
    // ring is empty, calls handle(const RAWDATA&) with the oldest event, then
    // frees its slot, clears QueueFull and wakes a waiting producer. The slot
    // is freed even when handle throws, so that no event can stop the queue.
    // Returns whether an event was taken.
    template <typename Handler> bool takeOne(const Lock& held, Handler&& handle);

    // The program is closing: wakes waiting producers; from now on every event is dropped.
    void shutdown();
    bool closing() const { return m_closing.load(); }

    bool queueFull() const { return QueueFull.load(); }
    bool queueBusy(const Lock& held) const { return checked(held).QueueBusy; }
    const EventQueue& ring(const Lock& held) const { return checked(held).m_ring; }
    int waitingProducers(const Lock& held) const { return checked(held).m_waitingProducers; }

private:
    friend std::int32_t KAVREL_CALL HostCallback(const char*, std::int32_t, const void*,
                                                 std::int32_t) noexcept;

    // QueueLock as a lockable for condition waits, keeping the lock depth.
    struct Relock
    {
        HostEventQueue& queue;
        void lock() { queue.acquire(); }
        void unlock() { queue.release(); }
    };

    void acquire();
    void release();
    const HostEventQueue& checked(const Lock& held) const
    {
        assert(&held.m_queue == this);
        (void)held;
        return *this;
    }

    // What HostCallback does with an event once it has reached this queue.
    void post(const char* text, std::int32_t code, const void* data, std::int32_t length) noexcept;
    void takeIn(QueueTreatment treatment, const char* text, std::int32_t code,
                std::span<const std::uint8_t> data);
    // Under QueueLock: waits until the ring has a free slot. False when the
    // event has to be dropped after all (closing, or re-entered on the holding thread).
    bool waitForSlot();
    void advance() noexcept;

    // Where HostCallback finds the queue; defined with HostCallback.
    void install();
    void uninstall() noexcept;

    // Guards everything below except the atomics, which it guards for writing.
    std::recursive_mutex QueueLock;
    EventQueue m_ring;
    std::atomic<bool> QueueFull{false};
    // Set while a callback holds QueueLock; the dispatcher takes no event then.
    bool QueueBusy = false;
    std::atomic<bool> m_closing{false};
    // How often the holding thread holds QueueLock; only that thread touches it.
    int m_lockDepth = 0;
    int m_waitingProducers = 0;
    // Signalled when a slot is freed and when closing.
    std::condition_variable_any m_slotFreed;
    // Callbacks that found this queue and have not left yet; guarded by the
    // process-wide lock in HostCallback.cpp, not by QueueLock.
    int m_callbacksInside = 0;
};

template <typename Handler> bool HostEventQueue::takeOne(const Lock& held, Handler&& handle)
{
    checked(held);
    if (QueueBusy || m_ring.empty())
        return false;
    struct Advance
    {
        HostEventQueue& queue;
        ~Advance() { queue.advance(); }
    } const advanceAfterwards{*this};
    std::forward<Handler>(handle)(std::as_const(m_ring).oldest());
    return true;
}

} // namespace monitor
