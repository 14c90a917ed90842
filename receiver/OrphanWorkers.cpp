#include "OrphanWorkers.h"

namespace kavrel {

OrphanWorkers& OrphanWorkers::instance()
{
    // Deliberately leaked: workers may still hand themselves over while the
    // process exits, after any static destructor would have run.
    static auto* const orphans = new OrphanWorkers;
    return *orphans;
}

void OrphanWorkers::adopt(std::jthread thread, std::shared_ptr<WorkerStatus> status)
{
    std::lock_guard lock(m_mutex);
    m_orphans.push_back({std::move(thread), std::move(status)});
}

std::size_t OrphanWorkers::reap()
{
    std::lock_guard lock(m_mutex);
    m_orphans.remove_if([](Orphan& o) {
        if (!o.status->finished)
            return false;
        o.thread.join();
        return true;
    });
    return m_orphans.size();
}

} // namespace kavrel
