#include "ConnectionListener.h"

#include <algorithm>

namespace kavrel {

ConnectionListener::ConnectionListener(std::shared_ptr<ReceiverCore> core, ListenerOptions options)
    : m_core(std::move(core)), m_options(std::move(options))
{
}

ConnectionListener::~ConnectionListener()
{
    deactivate();
}

void ConnectionListener::activate(std::uint16_t port)
{
    if (m_active)
        return;
    m_listener.listen(port, kBacklog);
    m_active = true;
    m_acceptThread = std::jthread([this] { acceptLoop(); });
}

void ConnectionListener::acceptLoop()
{
    while (auto socket = nextConnection()) {
        ServerSocket1Accept();
        // Whatever goes wrong with one connection ends that connection only:
        // its socket closes as it leaves scope, and the next one is accepted.
        try {
            serve(std::move(*socket));
        } catch (const std::exception& e) {
            m_core->LogLine(std::string("Connection closed, no worker: ") + e.what());
        } catch (...) {
            m_core->LogLine("Connection closed, no worker");
        }
    }
}

std::optional<platform::TcpSocket> ConnectionListener::nextConnection()
{
    while (!m_listener.waitForConnection(m_options.workerSweep)) {
        std::lock_guard lock(m_workersMutex);
        joinFinishedLocked();
    }
    return m_listener.accept();
}

void ConnectionListener::serve(platform::TcpSocket socket)
{
    std::string address = socket.peerAddress();
    std::size_t live = 0;
    std::size_t fromAddress = 0;
    {
        std::lock_guard lock(m_workersMutex);
        joinFinishedLocked();
        live = m_workers.size();
        // Recorders that have logged in no longer count: many of them share a
        // carrier's or a proxy's address.
        fromAddress = static_cast<std::size_t>(
            std::count_if(m_workers.begin(), m_workers.end(), [&](const Worker& w) {
                return w.address == address && !w.status->loggedIn;
            }));
    }
    if (live >= static_cast<std::size_t>(m_core->settings.MAX_CONNECTIONS)) {
        m_core->LogLine("Connection refused: " + std::to_string(live) +
                        " connections open, MAX_CONNECTIONS reached");
        socket.close();
        return;
    }
    const auto perAddress = static_cast<std::size_t>(m_core->settings.MAX_CONNECTIONS_PER_ADDRESS);
    if (perAddress > 0 && fromAddress >= perAddress) {
        m_core->LogLine("Connection refused: " + std::to_string(fromAddress) +
                        " connections not logged in from " + address +
                        ", MAX_CONNECTIONS_PER_ADDRESS reached");
        socket.close();
        return;
    }
    ServerSocket1GetThread();
    socket.setSendBufferSize(kSendBufferBytes);
    startWorker(std::move(socket), std::move(address));
}

void ConnectionListener::startWorker(platform::TcpSocket socket, std::string address)
{
    auto client = std::make_shared<ClientSocket>(
        std::make_shared<platform::TcpSocket>(std::move(socket)), m_core);
    auto status = std::make_shared<WorkerStatus>();
    status->board = m_board;

    // Workers run at the normal priority: raising it needs privileges here, and
    // the acknowledgement path is short enough without it.
    auto body = [core = m_core, client, status] {
        try {
            auto worker = std::make_unique<ConnectionWorker>(core, *client, *status);
            worker->ServerSocket1ThreadStart();
        } catch (...) {
            core->LogLine("Connection worker failed");
        }
        client->release();
        core->LogLine("ThreadEnd...\r\n"); // ServerSocket1ThreadEnd
        status->finished = true;
        status->announce();
    };
    // The entry exists before its thread does, so that a failed start leaves
    // nothing behind and a started thread is never lost to a failed insertion.
    std::lock_guard lock(m_workersMutex);
    auto& worker = m_workers.emplace_back(
        Worker{std::move(client), std::move(status), std::move(address), {}});
    try {
        worker.thread = m_options.startThread(std::move(body));
    } catch (...) {
        m_workers.pop_back();
        throw;
    }
}

void ConnectionListener::joinFinishedLocked()
{
    m_workers.remove_if([](Worker& w) {
        if (!w.status->finished)
            return false;
        w.thread.join();
        return true;
    });
}

std::size_t ConnectionListener::workerCount()
{
    std::lock_guard lock(m_workersMutex);
    return m_workers.size();
}

void ConnectionListener::deactivate()
{
    if (!m_active)
        return;
    m_active = false;
    m_listener.wake();
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    m_listener.close();

    std::list<Worker> workers;
    {
        std::lock_guard lock(m_workersMutex);
        workers.swap(m_workers);
    }
    for (auto& w : workers) {
        w.status->terminated = true;
        w.client->abortFromListener();
    }
    m_core->packetMemory.wakeAll(); // workers waiting for packet memory look at `terminated`

    const auto allFinished = [&] {
        return std::all_of(workers.begin(), workers.end(),
                           [](const Worker& w) { return w.status->finished.load(); });
    };
    const auto noneBusyOutsideCallback = [&] {
        return std::all_of(workers.begin(), workers.end(), [](const Worker& w) {
            return w.status->finished.load() || w.status->inCallback.load();
        });
    };
    {
        std::unique_lock lock(m_board->mutex);
        // Every worker ends once its socket is closed, unless the host's callback holds it.
        if (!m_board->changed.wait_for(lock, m_options.callbackGrace, allFinished))
            m_board->changed.wait(lock, noneBusyOutsideCallback);
    }
    for (auto& w : workers) {
        if (w.status->finished)
            w.thread.join();
        else
            w.thread.detach(); // held by the host's callback; see the note on deactivation
    }
}

} // namespace kavrel
