// Receives the library's events on its worker threads, several at once, and
// writes one line per event to a stream, or, when quiet, only counts them.
//
// Threads: report() runs on any worker thread; m_outputMutex serialises the
// writes to m_out so that lines never interleave; the counters are atomics and
// can be read from any thread. Configure before the library starts reporting.
#pragma once

#include "kavrel_events.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace listenhost {

class EventPrinter
{
public:
    EventPrinter(std::FILE* out, bool quiet) : m_out(out), m_quiet(quiet) {}

    // Never throws: it runs inside the library's callback.
    void report(const char* text, std::int32_t code, const void* data,
                std::int32_t length) noexcept;

    // "events: 200 CONNECTION_OPENED, ..., packet bytes: N".
    std::string totals() const;

private:
    // A slot for each code of the event table; every other code counts under kOtherSlot.
    static constexpr std::size_t kSlots = kavrel::kEventKinds.size() + 1;
    static constexpr std::size_t kOtherSlot = kSlots - 1;
    static std::size_t slotOf(std::int32_t code);
    static std::int32_t codeOfSlot(std::size_t slot);

    std::FILE* m_out;
    const bool m_quiet;
    std::mutex m_outputMutex; // guards writes to m_out
    std::array<std::atomic<std::uint64_t>, kSlots> m_counts{};
    std::atomic<std::uint64_t> m_packetBytes{0}; // payload bytes of packet events
};

} // namespace listenhost
