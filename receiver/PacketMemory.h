// The memory that all connections of one library may hold for packets under
// way. A connection takes its packet's size from the budget as soon as the
// header announces it, before it reads the payload, and gives it back once the
// packet has been delivered or the connection ends. One whose packet would
// exceed the budget waits, reading nothing, until others give memory back, so
// that peers announcing large packets and never finishing them cannot make the
// process hold more than the budget. A packet that has its share can always be
// completed: no connection ever waits halfway through a payload.
//
// Threads: every worker takes and gives back on its own thread. m_mutex guards
// m_limit and m_used; m_freed wakes the waiters when memory is given back or
// when wakeAll() asks them to look at their stop condition again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace kavrel {

class PacketMemory
{
public:
    // A share of the budget; gives it back when destroyed. Empty when not granted.
    class Grant
    {
    public:
        Grant() = default;
        Grant(Grant&& other) noexcept;
        Grant& operator=(Grant&& other) noexcept;
        Grant(const Grant&) = delete;
        Grant& operator=(const Grant&) = delete;
        ~Grant() { reset(); }

        explicit operator bool() const { return m_owner != nullptr; }
        std::uint64_t bytes() const { return m_bytes; }
        void reset();

    private:
        friend class PacketMemory;
        Grant(PacketMemory* owner, std::uint64_t bytes) : m_owner(owner), m_bytes(bytes) {}
        PacketMemory* m_owner = nullptr;
        std::uint64_t m_bytes = 0;
    };

    explicit PacketMemory(std::uint64_t limit = UINT64_MAX) : m_limit(limit) {}

    // Set before any connection is served.
    void setLimit(std::uint64_t limit);
    std::uint64_t limit() const;
    // Bytes granted and not yet given back.
    std::uint64_t used() const;

    // The share at once, or an empty grant when it does not fit now.
    Grant tryTake(std::uint64_t bytes);
    // Waits until the share fits, the deadline passes or stop() answers true
    // (looked at whenever memory is given back and at wakeAll()). Empty when not
    // granted; a share larger than the whole budget is never granted.
    Grant take(std::uint64_t bytes, std::chrono::steady_clock::time_point deadline,
               const std::function<bool()>& stop);

    // Makes every waiter look at its stop condition again.
    void wakeAll();

    // Hands memory that the process has freed back to the system (after a
    // large buffer is let go), so that a burst does not leave it resident.
    static void returnFreedMemory();

private:
    void give(std::uint64_t bytes);

    mutable std::mutex m_mutex; // guards m_limit and m_used
    std::condition_variable m_freed;
    std::uint64_t m_limit;
    std::uint64_t m_used = 0;
};

} // namespace kavrel
