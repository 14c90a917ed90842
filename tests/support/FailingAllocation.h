// Running out of memory on demand: a test program that links this replaces the
// global operator new, so that a test can make large allocations fail the way
// they do when memory is exhausted.
#pragma once

#include <cstddef>

namespace testsupport {

// While it lives, every operator new of at least `from` bytes throws
// std::bad_alloc, on every thread. Smaller allocations go on as usual.
class FailLargeAllocations
{
public:
    explicit FailLargeAllocations(std::size_t from);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;

    // Allocations refused so far, while this lives.
    static std::size_t refused();
};

} // namespace testsupport
