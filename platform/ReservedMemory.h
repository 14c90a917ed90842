// A block of address space reserved at its full size and backed by memory only
// as far as it has been committed. A buffer for a payload whose size is
// announced ahead of its bytes: reserving costs no memory, committing takes
// memory page by page as the bytes arrive, and the block stays contiguous so
// that the whole payload can be handed on through one pointer.
//
// Owned by one thread at a time; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class ReservedMemory
{
public:
    ReservedMemory() = default;
    ~ReservedMemory() { release(); }
    ReservedMemory(ReservedMemory&& other) noexcept;
    ReservedMemory& operator=(ReservedMemory&& other) noexcept;
    ReservedMemory(const ReservedMemory&) = delete;
    ReservedMemory& operator=(const ReservedMemory&) = delete;

    // Reserves `bytes` of address space, none of it usable yet; releases any
    // earlier block first. False when the system has no room for it.
    bool reserve(std::size_t bytes);

    // Makes the first `bytes` of the block usable (rounded up to whole pages,
    // never past the reserved size). Committed bytes stay committed until
    // release(). False when the system cannot back them with memory.
    bool commit(std::size_t bytes);

    // Gives the whole block back to the system.
    void release();

    std::uint8_t* data() const { return m_data; }
    std::size_t reserved() const { return m_reserved; }
    std::size_t committed() const { return m_committed; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_mapped = 0;    // whole pages mapped
    std::size_t m_reserved = 0;  // as asked for
    std::size_t m_committed = 0; // whole pages, at most m_mapped
};

} // namespace platform
