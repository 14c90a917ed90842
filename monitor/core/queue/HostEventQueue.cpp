#include "HostEventQueue.h"

#include "StorageGuard.h"

#include <new>

namespace monitor {

namespace {

// Sets QueueBusy for as long as a callback holds QueueLock; cleared before the
// lock is left.
class BusyMark
{
public:
    explicit BusyMark(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyMark() { m_busy = false; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    bool& m_busy;
};

} // namespace

HostEventQueue::HostEventQueue(std::size_t dataBudget) : m_dataBudget(dataBudget)
{
    connectHostCallback();
}

HostEventQueue::~HostEventQueue()
{
    shutdown();
    disconnectHostCallback();
}

void HostEventQueue::acquire()
{
    QueueLock.lock();
    ++m_lockDepth;
}

void HostEventQueue::release()
{
    --m_lockDepth;
    QueueLock.unlock();
}

void HostEventQueue::shutdown()
{
    const Lock held(*this);
    m_closing = true;
    m_slotFreed.notify_all();
    if (StorageGuard* guard = m_guard.load())
        guard->close();
}

bool HostEventQueue::post(const char* text, std::int32_t code, const void* data,
                          std::int32_t length, std::uint64_t connection) noexcept
{
    const QueueTreatment treatment = kavrel::queueTreatment(code);
    if (code == kavrel::EventCode::CONNECTION_OPENED) {
        try {
            const std::lock_guard held(m_addressLock);
            m_addresses[connection] = text ? text : "";
        } catch (...) {
            // Without memory the connection's events carry no address.
        }
        return true;
    }
    // The connection's last event takes its address with it.
    struct ForgetAddress
    {
        HostEventQueue& queue;
        std::uint64_t connection;
        bool closing;
        ~ForgetAddress()
        {
            if (closing) {
                const std::lock_guard held(queue.m_addressLock);
                queue.m_addresses.erase(connection);
            }
        }
    } const forgetAddress{*this, connection, code == kavrel::EventCode::CONNECTION_CLOSED};
    // The library never passes a negative length, or a null address with a
    // length; should it, the event is taken with no data rather than read
    // from where it points.
    std::span<const std::uint8_t> bytes;
    if (data != nullptr && length > 0)
        bytes = {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
    // Durable before anything else, closing or not: the library acknowledges
    // the packet once this returns.
    std::uint64_t journalId = 0;
    if (StorageGuard* guard = m_guard.load(); guard && treatment == QueueTreatment::WaitForSlot) {
        const std::optional<std::uint64_t> id = guard->keep(text, code, bytes);
        if (!id)
            return false;
        journalId = *id;
    }
    if (m_closing.load())
        return true;
    // While the ring is full, everything but the events that wait for a slot
    // leaves at once, without the lock.
    if (treatment != QueueTreatment::WaitForSlot && QueueFull.load())
        return true;
    try {
        const Lock held(*this);
        const BusyMark busy(QueueBusy);
        takeIn(treatment, text, code, bytes, connection, journalId);
    } catch (...) {
        // Only a lock that cannot be taken, or a copy that cannot be allocated
        // on the thread that holds the lock, lands here; the event is not
        // published. Nothing goes back into the library.
    }
    return true;
}

bool HostEventQueue::tryPost(const Lock& held, const char* text, std::int32_t code,
                             std::span<const std::uint8_t> data)
{
    checked(held);
    // Room freed while producers wait is theirs.
    if (m_closing.load() || producersWaiting() || !hasRoom(data.size()))
        return false;
    try {
        write(text, code, data, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void HostEventQueue::takeIn(QueueTreatment treatment, const char* text, std::int32_t code,
                            std::span<const std::uint8_t> data, std::uint64_t connection,
                            std::uint64_t journalId)
{
    switch (treatment) {
    case QueueTreatment::NotQueued:
        return;
    case QueueTreatment::DropWhenFull:
        if (!hasRoom(data.size())) {
            QueueFull = true;
            return;
        }
        // Room freed while packets wait is theirs.
        if (producersWaiting() || m_closing.load())
            return;
        try {
            write(text, code, data, connection);
        } catch (const std::bad_alloc&) {
            // A notice carries nothing to keep.
        }
        return;
    case QueueTreatment::WaitForSlot:
        waitAndWrite(text, code, data, connection, journalId);
        return;
    }
}

void HostEventQueue::waitAndWrite(const char* text, std::int32_t code,
                                  std::span<const std::uint8_t> data, std::uint64_t connection,
                                  std::uint64_t journalId)
{
    // On the thread that holds QueueLock already (the dispatcher's own tick),
    // waiting would wait for itself: without room the event is dropped, and
    // with room it goes in at once, ahead of any waiting producer.
    if (m_lockDepth > 1) {
        if (!hasRoom(data.size()))
            QueueFull = true;
        else if (!m_closing.load())
            write(text, code, data, connection, journalId);
        return;
    }

    const std::uint64_t ticket = m_nextTicket++;
    // However this producer leaves, the turn passes to the next ticket. Only
    // the producer being served leaves, except when closing, when every one does.
    struct PassTurn
    {
        HostEventQueue& queue;
        ~PassTurn()
        {
            ++queue.m_servingTicket;
            queue.m_slotFreed.notify_all();
        }
    } const passTurn{*this};

    for (;;) {
        if (m_closing.load())
            return;
        bool allocationFailed = false;
        if (ticket == m_servingTicket && hasRoom(data.size())) {
            try {
                write(text, code, data, connection, journalId);
                return;
            } catch (const std::bad_alloc&) {
                allocationFailed = true;
            }
        } else if (!hasRoom(data.size())) {
            QueueFull = true;
        }
        ++m_waitingProducers;
        QueueBusy = false;
        Relock relock{*this};
        // A take frees memory and wakes this producer; with nothing queued to
        // take, only time can.
        if (allocationFailed && m_ring.empty())
            m_slotFreed.wait_for(relock, kAllocationRetry);
        else
            m_slotFreed.wait(relock);
        QueueBusy = true;
        --m_waitingProducers;
    }
}

bool HostEventQueue::hasRoom(std::size_t bytes) const
{
    if (m_ring.full())
        return false;
    return m_ring.empty() || m_queuedBytes + bytes <= m_dataBudget;
}

void HostEventQueue::write(const char* text, std::int32_t code, std::span<const std::uint8_t> data,
                           std::uint64_t connection, std::uint64_t journalId)
{
    std::string address;
    {
        const std::lock_guard held(m_addressLock);
        if (const auto found = m_addresses.find(connection); found != m_addresses.end())
            address = found->second;
    }
    RAWDATA& slot = m_ring.writeSlot();
    slot.assign(text, code, data, connection);
    slot.JournalId = journalId;
    slot.Address = std::move(address);
    m_ring.publish();
    m_queuedBytes += data.size();
}

void HostEventQueue::advance() noexcept
{
    m_queuedBytes -= m_ring.oldest().bytes().size();
    m_ring.dropOldest();
    QueueFull = false;
    m_slotFreed.notify_all();
}

} // namespace monitor
