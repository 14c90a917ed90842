#include "PacketMemory.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kavrel {

PacketMemory::Share::Share(Share&& other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)), m_entry(other.m_entry)
{
}

PacketMemory::Share& PacketMemory::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        reset();
        m_owner = std::exchange(other.m_owner, nullptr);
        m_entry = other.m_entry;
    }
    return *this;
}

void PacketMemory::Share::reset()
{
    if (m_owner != nullptr)
        std::exchange(m_owner, nullptr)->close(m_entry);
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

PacketMemory::Share PacketMemory::open(std::uint64_t claim)
{
    // A share that holds nothing keeps every packet completable: it can be
    // the last to finish, when the whole budget is free again.
    std::lock_guard lock(m_mutex);
    Share share;
    if (claim > m_limit)
        return share;
    share.m_entry = m_shares.insert(m_shares.end(), Entry{claim, 0});
    share.m_owner = this;
    m_unclaimed += claim;
    return share;
}

bool PacketMemory::canGrowLocked(const Entry& entry, std::uint64_t bytes) const
{
    if (bytes > entry.claim - entry.held || bytes > m_limit - m_used)
        return false;
    std::uint64_t free = m_limit - m_used - bytes;
    if (m_unclaimed - bytes <= free)
        return true; // every packet could complete at once
    // Otherwise some order must let each packet complete in turn, each giving
    // back what it held: the one needing least first is always as good as any.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> needs; // need, held
    needs.reserve(m_shares.size());
    for (const Entry& e : m_shares) {
        const std::uint64_t held = &e == &entry ? e.held + bytes : e.held;
        needs.emplace_back(e.claim - held, held);
    }
    std::sort(needs.begin(), needs.end());
    for (const auto& [need, held] : needs) {
        if (need > free)
            return false;
        free += held;
    }
    return true;
}

void PacketMemory::growLocked(Entry& entry, std::uint64_t bytes)
{
    entry.held += bytes;
    m_used += bytes;
    m_unclaimed -= bytes;
}

bool PacketMemory::tryGrow(Share& share, std::uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (share.m_owner != this || !canGrowLocked(*share.m_entry, bytes))
        return false;
    growLocked(*share.m_entry, bytes);
    return true;
}

bool PacketMemory::grow(Share& share, std::uint64_t bytes,
                        std::chrono::steady_clock::time_point deadline,
                        const std::function<bool()>& stop)
{
    std::unique_lock lock(m_mutex);
    if (share.m_owner != this)
        return false;
    Entry& entry = *share.m_entry;
    const bool fits =
        m_freed.wait_until(lock, deadline, [&] { return canGrowLocked(entry, bytes) || stop(); });
    if (!fits || !canGrowLocked(entry, bytes))
        return false;
    growLocked(entry, bytes);
    return true;
}

void PacketMemory::close(std::list<Entry>::iterator entry)
{
    {
        std::lock_guard lock(m_mutex);
        m_used -= entry->held;
        m_unclaimed -= entry->claim - entry->held;
        m_shares.erase(entry);
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

} // namespace kavrel
