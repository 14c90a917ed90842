// The library's TCP listener: every local IPv4 address, a backlog of 5, one
// accept thread, and a new worker thread for every accepted connection (never
// reused). Its handlers write the "Accept", "GetThread" and "ThreadEnd..." lines.
//
// Threads: activate() and deactivate() run on the host's thread; the accept
// thread adds workers to m_workers; worker threads only touch their own
// WorkerStatus and announce changes on the shared board. m_workersMutex guards
// m_workers. Deactivation stops the accept thread first, then closes every
// connection and waits for the workers, except for those sitting in the host's
// callback after a grace period: those are handed to OrphanWorkers.
#pragma once

#include "ClientSocket.h"
#include "ConnectionWorker.h"
#include "ReceiverCore.h"
#include "TcpSocket.h"

#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace kavrel {

class ConnectionListener
{
public:
    static constexpr int kBacklog = 5;
    // How long deactivation waits for a worker that sits in the host's callback.
    static constexpr std::chrono::milliseconds kCallbackGrace{2000};

    explicit ConnectionListener(std::shared_ptr<ReceiverCore> core,
                                std::chrono::milliseconds callbackGrace = kCallbackGrace);
    ~ConnectionListener();
    ConnectionListener(const ConnectionListener&) = delete;
    ConnectionListener& operator=(const ConnectionListener&) = delete;

    // Listens on the port (0 picks a free one). Throws platform::SocketError.
    void activate(std::uint16_t port);
    bool active() const { return m_active; }
    std::uint16_t port() const { return m_listener.port(); }

    // Ends every connection and stops listening. Safe to call more than once.
    void deactivate();

    // Workers still attached (for tests and the connection limit).
    std::size_t workerCount();

private:
    struct Worker
    {
        std::shared_ptr<ClientSocket> client;
        std::shared_ptr<WorkerStatus> status;
        std::jthread thread;
    };

    void acceptLoop();
    void startWorker(platform::TcpSocket socket);
    void reapFinishedLocked();

    void ServerSocket1Accept() { m_core->LogLine("Accept"); }
    void ServerSocket1GetThread() { m_core->LogLine("GetThread"); }

    std::shared_ptr<ReceiverCore> m_core;
    std::chrono::milliseconds m_callbackGrace;
    platform::TcpListener m_listener;
    bool m_active = false; // host's thread only
    std::jthread m_acceptThread;

    std::shared_ptr<WorkerBoard> m_board = std::make_shared<WorkerBoard>();
    std::mutex m_workersMutex; // guards m_workers
    std::list<Worker> m_workers;
};

} // namespace kavrel
