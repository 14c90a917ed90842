// The library's TCP listener: every local IPv4 address, a backlog of 5, one
// accept thread, and a new worker thread for every accepted connection (never
// reused). Its handlers write the "Accept", "GetThread" and "ThreadEnd..." lines.
//
// Threads: activate() and deactivate() run on the host's thread; the accept
// thread adds workers to m_workers and joins those that have ended, at every
// connection and at least once per sweep interval; worker threads only touch
// their own WorkerStatus and announce changes on the shared board.
// m_workersMutex guards m_workers. A connection from a trusted proxy
// (TRUSTED_PROXIES) begins on its worker thread with the proxy's header, which
// names the recorder: under m_workersMutex that worker then counts the
// recorder's address for the limit per address and writes it into its entry.
// A connection whose worker cannot be started
// is closed and the accept thread goes on. Deactivation stops the accept thread
// first, then closes every connection and waits for the workers, except for
// those sitting in the host's callback after a grace period: a host whose
// callback waits for the deactivating thread would otherwise never get it back.
// Those are let go (detached): their sockets are closed, they own everything
// they touch, and each ends by itself once the callback returns, still
// reporting the end of its connection. Joining them later would need a step at
// process exit, where the library does nothing.
#pragma once

#include "ClientSocket.h"
#include "ConnectionWorker.h"
#include "ReceiverCore.h"
#include "TcpSocket.h"

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace kavrel {

// Starts the thread that serves one connection; throws when the system cannot
// start one (thread or process limit, memory).
using WorkerThreadStarter = std::function<std::jthread(std::function<void()>)>;

struct ListenerOptions
{
    // How long deactivation waits for a worker that sits in the host's callback.
    static constexpr std::chrono::milliseconds kCallbackGrace{2000};
    // How long ended workers may wait to be joined while no connection arrives.
    static constexpr std::chrono::milliseconds kWorkerSweep{1000};

    std::chrono::milliseconds callbackGrace = kCallbackGrace;
    std::chrono::milliseconds workerSweep = kWorkerSweep;
    WorkerThreadStarter startThread = [](std::function<void()> body) {
        return std::jthread(std::move(body));
    };
};

class ConnectionListener
{
public:
    static constexpr int kBacklog = 5;
    // A connection sends nothing but 4-byte acknowledgements, so a small send
    // buffer is plenty; it bounds what a recorder that never reads can make the
    // system hold, and lets the acknowledgement's bounded send notice it sooner.
    static constexpr int kSendBufferBytes = 4096;

    explicit ConnectionListener(std::shared_ptr<ReceiverCore> core, ListenerOptions options = {});
    ~ConnectionListener();
    ConnectionListener(const ConnectionListener&) = delete;
    ConnectionListener& operator=(const ConnectionListener&) = delete;

    // Listens on the port (0 picks a free one). Throws platform::SocketError.
    void activate(std::uint16_t port);
    bool active() const { return m_active; }
    std::uint16_t port() const { return m_listener.port(); }

    // Ends every connection and stops listening. Safe to call more than once.
    void deactivate();

    // Workers not yet joined: those serving a connection, and those ended
    // since the accept thread last joined.
    std::size_t workerCount();

private:
    struct Worker
    {
        std::shared_ptr<ClientSocket> client;
        std::shared_ptr<WorkerStatus> status;
        std::string address; // the recorder's, for the limit per address (guarded as m_workers)
        std::jthread thread;
    };

    void acceptLoop();
    // The next connection, joining ended workers while none arrives; empty once deactivated.
    std::optional<platform::TcpSocket> nextConnection();
    void serve(platform::TcpSocket socket);
    // address: the peer's, counted for the limit per address; empty for a
    // trusted proxy's connection until its header names the recorder.
    void startWorker(platform::TcpSocket socket, std::string address, bool viaProxy);
    void joinFinishedLocked();
    // Connections not logged in from the address (m_workersMutex held).
    std::size_t notLoggedInFromLocked(const std::string& address) const;
    // False when an address with this many connections not logged in holds its share.
    bool withinAddressLimit(std::size_t fromAddress) const;
    void refuseForAddress(std::size_t fromAddress, const std::string& address);
    // On the worker's thread, for a trusted proxy's connection: reads its
    // header, counts the recorder's address against its limit and names the
    // connection by it. False, with one line logged, when the connection is
    // to end.
    bool takeProxyHeader(ClientSocket& client, WorkerStatus& status);

    void ServerSocket1Accept() { m_core->LogLine("Accept"); }
    void ServerSocket1GetThread() { m_core->LogLine("GetThread"); }

    std::shared_ptr<ReceiverCore> m_core;
    ListenerOptions m_options;
    platform::TcpListener m_listener;
    bool m_active = false; // host's thread only
    std::jthread m_acceptThread;

    std::shared_ptr<WorkerBoard> m_board = std::make_shared<WorkerBoard>();
    std::mutex m_workersMutex; // guards m_workers
    std::list<Worker> m_workers;
};

} // namespace kavrel
