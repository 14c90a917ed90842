#include "ConnectionListener.h"

#include "ProxyHeaderReader.h"

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

std::size_t ConnectionListener::notLoggedInFromLocked(const std::string& address) const
{
    // Recorders that have logged in no longer count: many of them share a
    // carrier's or a proxy's address.
    return static_cast<std::size_t>(
        std::count_if(m_workers.begin(), m_workers.end(), [&](const Worker& w) {
            return w.address == address && !w.status->loggedIn;
        }));
}

bool ConnectionListener::withinAddressLimit(std::size_t fromAddress) const
{
    const auto perAddress = static_cast<std::size_t>(m_core->settings.MAX_CONNECTIONS_PER_ADDRESS);
    return perAddress == 0 || fromAddress < perAddress;
}

void ConnectionListener::refuseForAddress(std::size_t fromAddress, const std::string& address)
{
    m_core->LogLine("Connection refused: " + std::to_string(fromAddress) +
                    " connections not logged in from " + address +
                    ", MAX_CONNECTIONS_PER_ADDRESS reached");
}

void ConnectionListener::serve(platform::TcpSocket socket)
{
    std::string address = socket.peerAddress();
    // A trusted proxy's connection counts by the recorder's address, which
    // its header names on the worker's thread: until then it counts for none.
    const bool viaProxy = m_core->settings.TRUSTED_PROXIES.contains(address);
    std::size_t live = 0;
    std::size_t fromAddress = 0;
    {
        std::lock_guard lock(m_workersMutex);
        joinFinishedLocked();
        live = m_workers.size();
        fromAddress = viaProxy ? 0 : notLoggedInFromLocked(address);
    }
    if (live >= static_cast<std::size_t>(m_core->settings.MAX_CONNECTIONS)) {
        m_core->LogLine("Connection refused: " + std::to_string(live) +
                        " connections open, MAX_CONNECTIONS reached");
        socket.close();
        return;
    }
    if (!withinAddressLimit(fromAddress)) {
        refuseForAddress(fromAddress, address);
        socket.close();
        return;
    }
    ServerSocket1GetThread();
    socket.setSendBufferSize(kSendBufferBytes);
    startWorker(std::move(socket), viaProxy ? std::string() : std::move(address), viaProxy);
}

bool ConnectionListener::takeProxyHeader(ClientSocket& client, WorkerStatus& status)
{
    const std::string proxy = client.peerAddress();
    const ProxyHeader header = readProxyHeader(client, m_core->silenceLimit);
    if (header.outcome != ProxyHeader::Outcome::Complete) {
        if (status.terminated || m_core->Stopping)
            return false; // ended by the listener's deactivation, not by the proxy
        m_core->LogLine("PROXY header from " + proxy + " not taken: " + header.reason +
                        ", closing the connection");
        return false;
    }
    const std::string recorder = header.sourceAddress.empty() ? proxy : header.sourceAddress;
    m_core->LogLine("PROXY header from " + proxy + ": the recorder is " + recorder +
                    (header.sourceAddress.empty() ? " (the proxy's own connection)" : ""));
    std::size_t fromAddress = 0;
    {
        // Counted and taken in one step, so two connections of one address
        // cannot both take its last place.
        std::lock_guard lock(m_workersMutex);
        const auto self = std::find_if(m_workers.begin(), m_workers.end(),
                                       [&](const Worker& w) { return w.status.get() == &status; });
        if (self == m_workers.end())
            return false; // deactivated meanwhile
        fromAddress = notLoggedInFromLocked(recorder);
        if (withinAddressLimit(fromAddress))
            self->address = recorder;
    }
    if (!withinAddressLimit(fromAddress)) {
        refuseForAddress(fromAddress, recorder);
        return false;
    }
    client.setRecorderAddress(header.sourceAddress);
    return true;
}

void ConnectionListener::startWorker(platform::TcpSocket socket, std::string address, bool viaProxy)
{
    auto client = std::make_shared<ClientSocket>(
        std::make_shared<platform::TcpSocket>(std::move(socket)), m_core);
    auto status = std::make_shared<WorkerStatus>();
    status->board = m_board;

    // Workers run at the normal priority: raising it needs privileges here, and
    // the acknowledgement path is short enough without it.
    // The listener outlives a worker that reads a header: deactivation waits
    // for every worker outside the host's callback, and a header is read
    // before the first report.
    auto body = [this, core = m_core, client, status, viaProxy] {
        try {
            if (!viaProxy || takeProxyHeader(*client, *status)) {
                auto worker = std::make_unique<ConnectionWorker>(core, *client, *status);
                worker->ServerSocket1ThreadStart();
            }
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
