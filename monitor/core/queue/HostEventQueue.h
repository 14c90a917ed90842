// The program's event queue: the ring of event slots with its lock and flags,
// how the receiver library's events are taken in, and how the dispatcher takes
// them out.
#pragma once

#include "EventQueue.h"
#include "HostCallback.h"
#include "kavrel_events.h"

#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <utility>

namespace monitor {

class StorageGuard;
using kavrel::QueueTreatment;

// Threads. Producers are the receiver library's worker threads, one per
// connection, several at once; they enter through HostCallback. The one
// consumer is the user-interface thread: its dispatcher takes at most one event
// per tick with takeOne().
//
// QueueLock (re-entrant) guards the ring (its slots and both indices),
// QueueBusy, the bytes queued, the producers' tickets, the taking mark and the
// lock depth. QueueFull and the closing flag are written only under QueueLock
// but read without it when a callback enters, so both are atomics.
//
// The dispatcher holds QueueLock for its whole tick, through its window
// updates, file writes and message processing, not just while it copies: the
// event it handles is the slot at ReadIndex itself, which stays unchanged only
// while no producer can write the ring. A producer that reports meanwhile waits
// for the lock, and with it that recorder's acknowledgement; the recorders are
// thus paced by the program. A take made while a take's handler lets messages
// through is refused, so that no event is handed out twice.
//
// No room. The queue has room for an event while the ring has a free slot and
// the event's bytes fit the data budget beside the bytes already queued; an
// event of any size has room in an empty ring, so that one larger than the
// whole budget cannot wait forever. A producer with a packet (data the library
// acknowledges once the callback has returned) or a logout waits on m_slotFreed
// until there is room, releasing QueueLock and clearing QueueBusy while it
// waits, and so does one whose copy cannot be allocated, until an event is
// taken or for kAllocationRetry: nothing acknowledged is lost, and the recorder
// waits instead. Such producers take a ticket and are served in arrival order,
// so a newcomer never takes the room freed for a waiting one. Notices
// (connection timed out, data received) are dropped while there is no room or
// while packets wait. The user-interface thread never waits for a producer: a
// producer holds QueueLock only for one copy, never while it waits, and a
// callback made on the thread that already holds QueueLock does not wait.
//
// Storage. With a StorageGuard set, an event that the archive keeps is made
// durable in the journal before it is queued (the guard holds the producer
// while that cannot be done), and its journal id travels in its slot.
//
// Addresses. The library names a connection by its peer's dotted address
// only in its opening event (not queued) and before the recorder's device
// record; so the queue keeps the address of each open connection, by its
// number, and gives it to every event of that connection (RAWDATA::Address).
// m_addressLock guards that map alone; it is taken inside QueueLock or alone,
// never the other way round, so an opening connection never waits for a tick.
//
// Stop. shutdown() wakes every waiting producer, whose event is then dropped,
// as is every later one. The destructor shuts down, stops HostCallback from
// reaching this queue and waits until no callback is inside it any more.
class HostEventQueue final : private HostEventSink
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

    // Bytes of event data the queue holds at most, the slots' base areas
    // aside: a few of the longest clips a recorder sends.
    static constexpr std::size_t kDefaultDataBudget = std::size_t{256} << 20;
    // How often a producer whose copy could not be allocated tries again while
    // no event is taken that would free memory.
    static constexpr std::chrono::milliseconds kAllocationRetry{100};

    // The queue starts empty and becomes the one that HostCallback fills. One
    // exists at a time; a second one throws std::logic_error.
    explicit HostEventQueue(std::size_t dataBudget = kDefaultDataBudget);
    // Must not run on a thread that holds QueueLock.
    ~HostEventQueue();
    HostEventQueue(const HostEventQueue&) = delete;
    HostEventQueue& operator=(const HostEventQueue&) = delete;

    [[nodiscard]] Lock lock() { return Lock(*this); }

    // The dispatcher's take, under QueueLock: unless QueueBusy is set, the
    // ring is empty or a take is under way already (handle let messages
    // through, and one of them takes again), calls handle(const RAWDATA&) with
    // the oldest event, then frees its slot, clears QueueFull and wakes the
    // waiting producers. The slot is freed even when handle throws, so that no
    // event can stop the queue. Returns whether an event was taken.
    template <typename Handler> bool takeOne(const Lock& held, Handler&& handle);

    // An event from the station's own thread, under QueueLock (the fleet's,
    // which comes from a broker rather than from the receiver library): queued
    // like a callback's event when there is room now, never waited for, never
    // journaled. False, and nothing queued, when there is no room or the
    // queue is closing: the caller keeps or drops the event.
    bool tryPost(const Lock& held, const char* text, std::int32_t code,
                 std::span<const std::uint8_t> data);

    // The program is closing: wakes waiting producers (and those the storage
    // guard holds); from now on every event is dropped.
    void shutdown();
    // Journals the events the archive keeps before they are queued; null for
    // none. Set before the receiver starts; the guard outlives the queue.
    void setStorageGuard(StorageGuard* guard) { m_guard = guard; }
    bool closing() const { return m_closing.load(); }

    bool queueFull() const { return QueueFull.load(); }
    bool queueBusy(const Lock& held) const { return checked(held).QueueBusy; }
    const EventQueue& ring(const Lock& held) const { return checked(held).m_ring; }
    int waitingProducers(const Lock& held) const { return checked(held).m_waitingProducers; }
    // Data bytes of the events queued now.
    std::size_t queuedBytes(const Lock& held) const { return checked(held).m_queuedBytes; }

private:
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
    // connection: the number of the connection that reported it (RAWDATA::Connection).
    // False when the event could not be made durable before the station
    // closed: the callback must then not return to the library (HostCallback.cpp).
    bool post(const char* text, std::int32_t code, const void* data, std::int32_t length,
              std::uint64_t connection) noexcept override;
    void takeIn(QueueTreatment treatment, const char* text, std::int32_t code,
                std::span<const std::uint8_t> data, std::uint64_t connection,
                std::uint64_t journalId);
    // Under QueueLock: waits for this producer's turn and for room, then
    // writes and publishes the event. Returns without it only when closing.
    void waitAndWrite(const char* text, std::int32_t code, std::span<const std::uint8_t> data,
                      std::uint64_t connection, std::uint64_t journalId);
    bool hasRoom(std::size_t bytes) const;
    bool producersWaiting() const { return m_servingTicket != m_nextTicket; }
    // Copies the event into the slot at WriteIndex and publishes it; throws
    // std::bad_alloc, publishing nothing, when the copy cannot be allocated.
    void write(const char* text, std::int32_t code, std::span<const std::uint8_t> data,
               std::uint64_t connection, std::uint64_t journalId = 0);
    void advance() noexcept;

    // Guards everything below except the atomics, which it guards for writing.
    std::recursive_mutex QueueLock;
    EventQueue m_ring;
    std::atomic<bool> QueueFull{false};
    // Set while a callback holds QueueLock; the dispatcher takes no event then.
    bool QueueBusy = false;
    std::atomic<bool> m_closing{false};
    // How often the holding thread holds QueueLock; only that thread touches it.
    int m_lockDepth = 0;
    // Set while takeOne() runs its handler.
    bool m_taking = false;
    const std::size_t m_dataBudget;
    std::size_t m_queuedBytes = 0;
    // Producers that may wait take the next ticket; the one holding
    // m_servingTicket is served, and passes the turn on when it leaves.
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_servingTicket = 0;
    // Producers blocked on m_slotFreed now.
    int m_waitingProducers = 0;
    // Signalled when a slot is freed, when a producer's turn passes on and when closing.
    std::condition_variable_any m_slotFreed;
    // Set before the receiver starts, read by the producers.
    std::atomic<StorageGuard*> m_guard{nullptr};
    // The peer's address of each open connection, by its number (see above).
    std::mutex m_addressLock;
    std::map<std::uint64_t, std::string> m_addresses; // under m_addressLock
};

template <typename Handler> bool HostEventQueue::takeOne(const Lock& held, Handler&& handle)
{
    checked(held);
    if (m_taking || QueueBusy || m_ring.empty())
        return false;
    m_taking = true;
    struct Advance
    {
        HostEventQueue& queue;
        ~Advance()
        {
            queue.m_taking = false;
            queue.advance();
        }
    } const advanceAfterwards{*this};
    std::forward<Handler>(handle)(std::as_const(m_ring).oldest());
    return true;
}

} // namespace monitor
