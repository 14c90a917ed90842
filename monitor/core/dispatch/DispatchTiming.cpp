#include "DispatchTiming.h"

#include "EventDispatcher.h"
#include "HostEventQueue.h"
#include "StandardError.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace monitor {
namespace {

// Room for a few seconds of lines, so that the file is written about once a second.
constexpr std::size_t kFileBuffer = std::size_t{64} << 10;

// Processor time of the calling thread.
std::chrono::nanoseconds threadTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

std::unique_ptr<DispatchTiming> DispatchTiming::fromEnvironment()
{
    const char* path = std::getenv(kEnvironmentVariable);
    if (path == nullptr || *path == '\0')
        return nullptr;
    auto timing = std::make_unique<DispatchTiming>(path);
    if (!timing->writing()) {
        const int error = errno;
        tellStandardError(std::string(kEnvironmentVariable) + ": cannot create \"" + path +
                          "\": " + std::strerror(error) + "; ticks are not timed");
        return nullptr;
    }
    return timing;
}

DispatchTiming::DispatchTiming(const std::string& path) : m_file(std::fopen(path.c_str(), "w"))
{
    if (m_file)
        std::setvbuf(m_file.get(), nullptr, _IOFBF, kFileBuffer);
}

void DispatchTiming::timeTick(HostEventQueue& queue, EventDispatcher& dispatcher)
{
    if (!m_file) {
        dispatcher.Timer1Timer();
        return;
    }
    // The dispatcher is the ring's only consumer and holds QueueLock (which
    // is re-entrant) for its whole tick anyway: held across the tick, the
    // oldest event now is the one the tick takes, if it takes one.
    Clock::time_point start;
    std::chrono::nanoseconds startCpu{};
    std::chrono::nanoseconds endCpu{};
    Clock::duration took{};
    std::int32_t code = kNoEvent;
    const std::uint32_t refreshedBefore = dispatcher.LastRefreshTicks();
    {
        const auto held = queue.lock();
        const EventQueue& ring = queue.ring(held);
        const std::int32_t readBefore = ring.readIndex();
        if (!ring.empty())
            code = ring.oldest().Code;
        start = Clock::now();
        startCpu = threadTime();
        dispatcher.Timer1Timer();
        endCpu = threadTime();
        took = Clock::now() - start;
        if (ring.readIndex() == readBefore)
            code = kNoEvent;
    }
    if (!m_started) {
        m_started = true;
        m_firstTick = start;
        m_lastFlush = start;
        m_lastEndCpu = startCpu;
    }
    const std::chrono::nanoseconds between = startCpu - m_lastEndCpu;
    m_lastEndCpu = endCpu;
    using std::chrono::duration_cast;
    std::fprintf(m_file.get(), "%" PRId64 " %" PRId32 " %" PRId64 " %" PRId64 " %d %" PRId64 "\n",
                 static_cast<std::int64_t>(
                     duration_cast<std::chrono::microseconds>(start - m_firstTick).count()),
                 code,
                 static_cast<std::int64_t>(duration_cast<std::chrono::nanoseconds>(took).count()),
                 static_cast<std::int64_t>((endCpu - startCpu).count()),
                 dispatcher.LastRefreshTicks() != refreshedBefore ? 1 : 0,
                 static_cast<std::int64_t>(between.count()));
    if (start - m_lastFlush >= kFlushInterval) {
        std::fflush(m_file.get());
        m_lastFlush = start;
    }
}

} // namespace monitor
