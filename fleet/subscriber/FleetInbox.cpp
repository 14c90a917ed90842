// The inbox's bounds, checked before a message is queued.
#include "FleetInbox.h"

#include <utility>

namespace fleet {

FleetInbox::FleetInbox(std::size_t maxMessages, std::size_t maxBytes)
    : m_maxMessages(maxMessages), m_maxBytes(maxBytes)
{
}

bool FleetInbox::push(FleetMessage message)
{
    const std::size_t size = message.payload.size();
    const std::lock_guard held(m_lock);
    if (m_messages.size() >= m_maxMessages || size > m_maxBytes - m_bytes) {
        ++m_dropped;
        return false;
    }
    m_bytes += size;
    m_messages.push_back(std::move(message));
    return true;
}

std::deque<FleetMessage> FleetInbox::takeAll()
{
    std::deque<FleetMessage> taken;
    const std::lock_guard held(m_lock);
    taken.swap(m_messages);
    m_bytes = 0;
    return taken;
}

std::uint64_t FleetInbox::dropped() const
{
    const std::lock_guard held(m_lock);
    return m_dropped;
}

} // namespace fleet
