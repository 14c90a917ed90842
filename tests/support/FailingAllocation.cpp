#include "FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace testsupport {

namespace {

constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> g_failFrom{kNever};
std::atomic<std::size_t> g_refused{0};

void* allocate(std::size_t size)
{
    if (size >= g_failFrom.load(std::memory_order_relaxed)) {
        g_refused.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

FailLargeAllocations::FailLargeAllocations(std::size_t from)
{
    g_refused = 0;
    g_failFrom = from;
}

FailLargeAllocations::~FailLargeAllocations()
{
    g_failFrom = kNever;
}

std::size_t FailLargeAllocations::refused()
{
    return g_refused.load();
}

} // namespace testsupport

// Every plain form of the global operator new and delete, so that no
// allocation made here meets a deallocation of another allocator. The aligned
// forms stay the library's own, as a pair.
void* operator new(std::size_t size)
{
    if (void* p = testsupport::allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return testsupport::allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return testsupport::allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
