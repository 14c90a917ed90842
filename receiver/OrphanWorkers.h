// Worker threads that the listener's deactivation stopped waiting for because
// they sat inside the host's callback (a host whose callback waits for the very
// thread that is deactivating would otherwise deadlock). Their sockets are
// closed; each ends by itself once the callback returns, and still reports the
// end of its connection.
//
// One process-wide instance, never destroyed: finished orphans are joined at
// every deactivation and start of the library. Threads still unfinished when
// the process exits end with it; joining them could hang the exit.
#pragma once

#include "ConnectionWorker.h"

#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace kavrel {

class OrphanWorkers
{
public:
    static OrphanWorkers& instance();

    void adopt(std::jthread thread, std::shared_ptr<WorkerStatus> status);

    // Joins the orphans that have finished; answers how many are still running.
    std::size_t reap();

private:
    struct Orphan
    {
        std::jthread thread;
        std::shared_ptr<WorkerStatus> status;
    };
    std::mutex m_mutex; // guards m_orphans
    std::list<Orphan> m_orphans;
};

} // namespace kavrel
