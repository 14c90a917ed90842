#include "PacketMemory.h"

#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kavrel {

PacketMemory::Grant::Grant(Grant&& other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)), m_bytes(std::exchange(other.m_bytes, 0))
{
}

PacketMemory::Grant& PacketMemory::Grant::operator=(Grant&& other) noexcept
{
    if (this != &other) {
        reset();
        m_owner = std::exchange(other.m_owner, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

void PacketMemory::Grant::reset()
{
    if (m_owner != nullptr)
        std::exchange(m_owner, nullptr)->give(std::exchange(m_bytes, 0));
}

void PacketMemory::setLimit(std::uint64_t limit)
{
    std::lock_guard lock(m_mutex);
    m_limit = limit;
}

std::uint64_t PacketMemory::limit() const
{
    std::lock_guard lock(m_mutex);
    return m_limit;
}

std::uint64_t PacketMemory::used() const
{
    std::lock_guard lock(m_mutex);
    return m_used;
}

PacketMemory::Grant PacketMemory::tryTake(std::uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (bytes > m_limit - m_used)
        return {};
    m_used += bytes;
    return Grant(this, bytes);
}

PacketMemory::Grant PacketMemory::take(std::uint64_t bytes,
                                       std::chrono::steady_clock::time_point deadline,
                                       const std::function<bool()>& stop)
{
    std::unique_lock lock(m_mutex);
    if (bytes > m_limit)
        return {};
    const bool fits =
        m_freed.wait_until(lock, deadline, [&] { return bytes <= m_limit - m_used || stop(); });
    if (!fits || bytes > m_limit - m_used)
        return {};
    m_used += bytes;
    return Grant(this, bytes);
}

void PacketMemory::give(std::uint64_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
    }
    m_freed.notify_all();
}

void PacketMemory::wakeAll()
{
    {
        std::lock_guard lock(m_mutex);
    }
    m_freed.notify_all();
}

void PacketMemory::returnFreedMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace kavrel
