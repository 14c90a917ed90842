// The ring of event slots between the receiver library's threads and the
// user-interface thread. A plain structure with no lock of its own:
// HostEventQueue guards it.
#pragma once

#include "RAWDATA.h"

#include <array>
#include <cstdint>

namespace monitor {

// 64 slots, all allocated at construction with zeroed data. The published
// events are the slots from ReadIndex up to, not including, WriteIndex,
// cyclically (63 is followed by 0), oldest first. One slot always stays
// unpublished, so at most 63 events are published and equal indices mean empty.
// The slot at WriteIndex is where the next event is written before it is
// published; a slot is reused without clearing.
class EventQueue
{
public:
    static constexpr std::int32_t SlotCount = 64;
    static constexpr std::int32_t Capacity = SlotCount - 1;

    static constexpr std::int32_t next(std::int32_t index)
    {
        return index + 1 < SlotCount ? index + 1 : 0;
    }

    bool empty() const { return ReadIndex == WriteIndex; }
    bool full() const { return next(WriteIndex) == ReadIndex; }
    // Number of published events, 0 to 63.
    std::int32_t size() const;

    std::int32_t readIndex() const { return ReadIndex; }
    std::int32_t writeIndex() const { return WriteIndex; }

    // The unpublished slot at WriteIndex.
    RAWDATA& writeSlot() { return slotAt(WriteIndex); }
    // Publishes the slot at WriteIndex. When 63 events are published already,
    // returns false and changes nothing.
    bool publish();

    // The oldest published event; the ring must not be empty.
    const RAWDATA& oldest() const { return slot(ReadIndex); }
    // Frees the oldest published slot, whose data area goes back to its base
    // size. Returns false, changing nothing, when empty.
    bool dropOldest();

    const RAWDATA& slot(std::int32_t index) const
    {
        return m_slots[static_cast<std::size_t>(index)];
    }

private:
    RAWDATA& slotAt(std::int32_t index) { return m_slots[static_cast<std::size_t>(index)]; }

    std::array<RAWDATA, SlotCount> m_slots;
    std::int32_t ReadIndex = 0;
    std::int32_t WriteIndex = 0;
};

} // namespace monitor
