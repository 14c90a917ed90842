#include "ReservedMemory.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

std::size_t pageSize()
{
    static const std::size_t size = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? static_cast<std::size_t>(page) : std::size_t{4096};
    }();
    return size;
}

std::size_t roundUpToPages(std::size_t bytes)
{
    const std::size_t page = pageSize();
    return (bytes + page - 1) / page * page;
}

} // namespace

ReservedMemory::ReservedMemory(ReservedMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_mapped(std::exchange(other.m_mapped, 0)),
      m_reserved(std::exchange(other.m_reserved, 0)),
      m_committed(std::exchange(other.m_committed, 0))
{
}

ReservedMemory& ReservedMemory::operator=(ReservedMemory&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_reserved = std::exchange(other.m_reserved, 0);
        m_committed = std::exchange(other.m_committed, 0);
    }
    return *this;
}

bool ReservedMemory::reserve(std::size_t bytes)
{
    release();
    if (bytes == 0)
        return true;
    const std::size_t mapped = roundUpToPages(bytes);
    if (mapped < bytes)
        return false; // rounding overflowed
    // Inaccessible and not charged against the system's commit limit until
    // commit() opens it.
    void* block =
        ::mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED)
        return false;
    m_data = static_cast<std::uint8_t*>(block);
    m_mapped = mapped;
    m_reserved = bytes;
    return true;
}

bool ReservedMemory::commit(std::size_t bytes)
{
    const std::size_t wanted = std::min(roundUpToPages(std::min(bytes, m_reserved)), m_mapped);
    if (wanted <= m_committed)
        return true;
    if (::mprotect(m_data + m_committed, wanted - m_committed, PROT_READ | PROT_WRITE) != 0)
        return false;
    m_committed = wanted;
    return true;
}

void ReservedMemory::release()
{
    if (m_data != nullptr)
        ::munmap(m_data, m_mapped);
    m_data = nullptr;
    m_mapped = 0;
    m_reserved = 0;
    m_committed = 0;
}

} // namespace platform
