#include "OrphanWorkers.h"

namespace kavrel {

OrphanWorkers& OrphanWorkers::instance()
{
    static OrphanWorkers orphans;
    return orphans;
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

OrphanWorkers::~OrphanWorkers()
{
    std::lock_guard lock(m_mutex);
    for (auto& o : m_orphans) {
        if (o.status->finished)
            o.thread.join();
        else
            o.thread.detach(); // still held by its host's callback at exit
    }
}

} // namespace kavrel
