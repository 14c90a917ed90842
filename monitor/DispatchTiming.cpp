#include "DispatchTiming.h"

#include "EventDispatcher.h"
#include "HostEventQueue.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>

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
        std::fprintf(stderr, "%s: cannot create \"%s\": %s; ticks are not timed\n",
                     kEnvironmentVariable, path, std::strerror(errno));
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
    // The dispatcher is the ring's only consumer, so the oldest event now is
    // the one the tick takes, if it takes one.
    std::int32_t readBefore = 0;
    std::int32_t code = kNoEvent;
    {
        const auto held = queue.lock();
        const EventQueue& ring = queue.ring(held);
        readBefore = ring.readIndex();
        if (!ring.empty())
            code = ring.oldest().Code;
    }
    const std::uint32_t refreshedBefore = dispatcher.LastRefreshTicks();

    const Clock::time_point start = Clock::now();
    const std::chrono::nanoseconds startCpu = threadTime();
    dispatcher.Timer1Timer();
    const std::chrono::nanoseconds endCpu = threadTime();
    const Clock::duration took = Clock::now() - start;

    {
        const auto held = queue.lock();
        const EventQueue& ring = queue.ring(held);
        if (ring.readIndex() == readBefore)
            code = kNoEvent;
        else if (code == kNoEvent)
            // Reported between the look above and the take: its slot, freed
            // just now, is not written again before the ring comes round.
            code = ring.slot(readBefore).Code;
    }
    if (!m_file)
        return;
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
