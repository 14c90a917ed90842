#include "HostEventQueue.h"

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

HostEventQueue::HostEventQueue()
{
    install();
}

HostEventQueue::~HostEventQueue()
{
    shutdown();
    uninstall();
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
}

void HostEventQueue::post(const char* text, std::int32_t code, const void* data,
                          std::int32_t length) noexcept
{
    const QueueTreatment treatment = queueTreatment(code);
    if (m_closing.load())
        return;
    // While the ring is full, everything but the events that wait for a slot
    // leaves at once, without the lock.
    if (treatment != QueueTreatment::WaitForSlot && QueueFull.load())
        return;
    // The library never passes a negative length, or a null address with a
    // length; should it, the event is taken with no data rather than read
    // from where it points.
    std::span<const std::uint8_t> bytes;
    if (data != nullptr && length > 0)
        bytes = {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
    try {
        const Lock held(*this);
        const BusyMark busy(QueueBusy);
        takeIn(treatment, text, code, bytes);
    } catch (...) {
        // Only a data area that cannot grow, or a lock that cannot be taken,
        // lands here; the event is not published. Nothing goes back into the library.
    }
}

void HostEventQueue::takeIn(QueueTreatment treatment, const char* text, std::int32_t code,
                            std::span<const std::uint8_t> data)
{
    switch (treatment) {
    case QueueTreatment::NotQueued:
        return;
    case QueueTreatment::DropWhenFull:
        if (m_ring.full()) {
            QueueFull = true;
            return;
        }
        // A slot freed while packets wait is theirs.
        if (m_waitingProducers > 0)
            return;
        break;
    case QueueTreatment::WaitForSlot:
        if (!waitForSlot())
            return;
        break;
    }
    if (m_closing.load())
        return;
    m_ring.writeSlot().assign(text, code, data);
    m_ring.publish();
}

bool HostEventQueue::waitForSlot()
{
    while (m_ring.full()) {
        QueueFull = true;
        // On the thread that holds QueueLock already (the dispatcher's own
        // tick), waiting would wait for itself: the event is dropped instead.
        if (m_closing.load() || m_lockDepth > 1)
            return false;
        ++m_waitingProducers;
        QueueBusy = false;
        Relock relock{*this};
        m_slotFreed.wait(relock);
        QueueBusy = true;
        --m_waitingProducers;
    }
    return true;
}

void HostEventQueue::advance() noexcept
{
    m_ring.dropOldest();
    QueueFull = false;
    m_slotFreed.notify_one();
}

} // namespace monitor
