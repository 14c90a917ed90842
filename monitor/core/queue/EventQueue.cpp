#include "EventQueue.h"

namespace monitor {

std::int32_t EventQueue::size() const
{
    const std::int32_t n = WriteIndex - ReadIndex;
    return n >= 0 ? n : n + SlotCount;
}

bool EventQueue::publish()
{
    const std::int32_t following = next(WriteIndex);
    if (following == ReadIndex)
        return false;
    WriteIndex = following;
    return true;
}

bool EventQueue::dropOldest()
{
    if (empty())
        return false;
    slotAt(ReadIndex).shrinkToBase();
    ReadIndex = next(ReadIndex);
    return true;
}

} // namespace monitor
