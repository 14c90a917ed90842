// How long a broker connection waits before its next attempt: the first
// delay, doubled after every failed attempt up to the longest, and back to the
// first once an attempt succeeds.
#pragma once

#include <algorithm>
#include <chrono>

namespace fleet {

class ReconnectDelay
{
public:
    static constexpr std::chrono::milliseconds kFirst{500};
    static constexpr std::chrono::milliseconds kLongest{30000};

    ReconnectDelay(std::chrono::milliseconds first, std::chrono::milliseconds longest)
        : m_first(first), m_longest(std::max(first, longest)), m_next(first)
    {
    }

    // The delay before the next attempt; the one after it is twice as long.
    std::chrono::milliseconds next()
    {
        const std::chrono::milliseconds delay = m_next;
        m_next = std::min(m_next * 2, m_longest);
        return delay;
    }
    void reset() { m_next = m_first; }

private:
    const std::chrono::milliseconds m_first;
    const std::chrono::milliseconds m_longest;
    std::chrono::milliseconds m_next;
};

} // namespace fleet
