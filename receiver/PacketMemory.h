// The memory that all connections of one library may hold for large packets
// under way. A packet opens a share with its announced size as its claim; the
// share then holds what the packet has received, taken read by read, and gives
// it all back once the packet has been delivered or the connection ends.
// Announcing a packet takes nothing, so that no peer holds more of the budget
// than it has actually sent.
//
// A share grows only while every packet under way can still be completed in
// some order (the banker's rule, with each packet's claim as the most it can
// need): a packet that would make that impossible reads nothing more until
// others give memory back. So the process never holds more than the budget,
// and packets that are being sent can never wait for each other for good;
// peers that never finish theirs hold only what they sent.
//
// Threads: every worker grows and gives back its share on its own thread.
// m_mutex guards m_limit, m_used, m_unclaimed and m_shares; m_freed wakes the
// waiters when memory is given back or when wakeAll() asks them to look at
// their stop condition again. A Share is owned by one worker.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

namespace kavrel {

class PacketMemory
{
    struct Entry
    {
        std::uint64_t claim; // the most the packet can need
        std::uint64_t held;  // what it holds now
    };

public:
    // One packet's hold on the budget; gives it back when destroyed.
    class Share
    {
    public:
        Share() = default;
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;
        ~Share() { reset(); }

        explicit operator bool() const { return m_owner != nullptr; }
        void reset();

    private:
        friend class PacketMemory;
        PacketMemory* m_owner = nullptr;
        std::list<Entry>::iterator m_entry;
    };

    explicit PacketMemory(std::uint64_t limit = UINT64_MAX) : m_limit(limit) {}

    // Set before any connection is served.
    void setLimit(std::uint64_t limit);
    std::uint64_t limit() const;
    // Bytes held and not yet given back.
    std::uint64_t used() const;

    // A share for a packet that may need `claim` bytes in all; it holds nothing
    // yet. Empty when the claim exceeds the whole budget.
    Share open(std::uint64_t claim);
    // Adds `bytes` to the share at once, or answers false when that would
    // exceed the budget or leave some packet under way unable to complete.
    bool tryGrow(Share& share, std::uint64_t bytes);
    // Waits until the share can grow by `bytes`, the deadline passes or stop()
    // answers true (looked at whenever memory is given back and at wakeAll()).
    bool grow(Share& share, std::uint64_t bytes, std::chrono::steady_clock::time_point deadline,
              const std::function<bool()>& stop);

    // Makes every waiter look at its stop condition again.
    void wakeAll();

private:
    bool canGrowLocked(const Entry& entry, std::uint64_t bytes) const;
    void growLocked(Entry& entry, std::uint64_t bytes);
    void close(std::list<Entry>::iterator entry);

    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_freed;
    std::uint64_t m_limit;
    std::uint64_t m_used = 0;
    std::uint64_t m_unclaimed = 0; // sum over the shares of claim - held
    std::list<Entry> m_shares;
};

} // namespace kavrel
