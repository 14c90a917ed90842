#include "RawSink.h"

#include <chrono>
#include <list>
#include <thread>
#include <vector>

namespace listenhost {

namespace {

constexpr int kBacklog = 16;
constexpr std::size_t kReadBuffer = 65536;
// A connection thread looks up at the stop flag at least this often.
constexpr std::chrono::milliseconds kWaitSlice{100};
constexpr double kMiB = 1024.0 * 1024.0;

} // namespace

bool RawSink::listen(std::uint16_t port, std::string& error)
{
    try {
        m_listener.listen(port, kBacklog);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

void RawSink::stop()
{
    m_stopping.store(true);
    m_listener.wake();
}

void RawSink::run()
{
    std::list<std::jthread> connections; // joined when run() returns
    while (!m_stopping.load()) {
        std::optional<platform::TcpSocket> socket = m_listener.accept();
        if (!socket)
            break;
        connections.emplace_back([this, s = std::move(*socket)]() mutable { drain(std::move(s)); });
    }
    // Connections still waiting in the backlog are refused rather than left hanging.
    m_listener.close();
}

void RawSink::drain(platform::TcpSocket socket)
{
    try {
        const std::string peer = socket.peerAddress();
        std::vector<std::uint8_t> buffer(kReadBuffer);
        std::uint64_t bytes = 0;
        std::chrono::steady_clock::time_point first{};
        while (!m_stopping.load()) {
            if (!socket.waitForData(kWaitSlice))
                continue;
            const std::size_t n = socket.receive(buffer);
            if (n == 0)
                break;
            if (bytes == 0)
                first = std::chrono::steady_clock::now();
            bytes += n;
            m_totalBytes.fetch_add(n);
        }
        const double seconds =
            bytes > 0
                ? std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count()
                : 0.0;
        socket.close();
        m_connectionsEnded.fetch_add(1);
        std::lock_guard lock(m_outputMutex);
        std::fprintf(m_out, "sink: %s: %llu bytes in %.3f s, %.1f MiB/s\n", peer.c_str(),
                     static_cast<unsigned long long>(bytes), seconds,
                     seconds > 0 ? static_cast<double>(bytes) / seconds / kMiB : 0.0);
        std::fflush(m_out);
    } catch (const std::exception& e) {
        std::lock_guard lock(m_outputMutex);
        std::fprintf(m_out, "sink: connection ended: %s\n", e.what());
    } catch (...) {
    }
}

} // namespace listenhost
