// A plain TCP sink for comparison with the receiver: accepts connections,
// reads and discards every byte, answers nothing, and tells for each
// connection how many bytes it took and how fast, from its first byte to its end.
//
// Threads: run() is the accept loop, on the caller's thread; each connection
// gets a jthread of its own, kept in a list that only run() touches and that
// joins them all when run() returns. stop() may be called from any thread: it
// wakes the accept and sets m_stopping, which the connection threads read
// between bounded waits. Lines go to m_out under m_outputMutex.
#pragma once

#include "TcpSocket.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace listenhost {

class RawSink
{
public:
    explicit RawSink(std::FILE* out) : m_out(out) {}

    // Listens on every local IPv4 address; false with error set when it cannot.
    bool listen(std::uint16_t port, std::string& error);
    std::uint16_t port() const { return m_listener.port(); }

    // Serves connections until stop().
    void run();
    void stop();

    std::uint64_t totalBytes() const { return m_totalBytes.load(); }
    std::uint64_t connectionsEnded() const { return m_connectionsEnded.load(); }

private:
    void drain(platform::TcpSocket socket);

    std::FILE* m_out;
    platform::TcpListener m_listener;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_totalBytes{0};
    std::atomic<std::uint64_t> m_connectionsEnded{0};
    std::mutex m_outputMutex; // guards writes to m_out
};

} // namespace listenhost
