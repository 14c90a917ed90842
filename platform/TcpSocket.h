// A connected TCP socket and a listening one, over the operating system's sockets.
//
// Threads: a TcpSocket is used by one owner thread (wait, receive, send, close).
// abort() may be called from any other thread to end the connection under the
// owner: it shuts the connection down, so that a wait or read in progress
// returns, and every later wait reports failure. m_closeMutex keeps abort() and
// close() from racing over the descriptor.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace platform {

class SocketError : public std::runtime_error
{
public:
    SocketError(const std::string& what, int error);
    int error() const { return m_error; }

private:
    int m_error;
};

class TcpSocket
{
public:
    TcpSocket() = default;
    explicit TcpSocket(int fd);
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // True until the socket is closed here or aborted.
    bool connected() const;

    // The peer's dotted IPv4 address, without port; empty when not connected.
    std::string peerAddress() const;

    // Sends small writes at once instead of collecting them (no Nagle delay).
    void setNoDelay();

    // Caps the system's buffer for bytes sent and not yet taken by the peer.
    void setSendBufferSize(int bytes);

    // True when data has arrived or the peer has closed its side; false when the
    // time passes first, the wait fails, or the socket was aborted.
    bool waitForData(std::chrono::milliseconds timeout);

    // Up to buffer.size() bytes; 0 when the peer has closed its side or the
    // buffer is empty. Throws SocketError when the read fails.
    std::size_t receive(std::span<std::uint8_t> buffer);

    // Sends all bytes within the time-out; answers their count, or 0 when not
    // connected. Throws SocketError when the send fails or the time passes first
    // (a peer that does not read leaves no room for the bytes).
    std::size_t send(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);

    // From any thread: ends the connection under the owner.
    void abort();

    // Owner only: closes the descriptor. Safe to call twice.
    void close();

private:
    int m_fd = -1; // written only by the owner (construction, close) under m_closeMutex
    std::atomic<bool> m_aborted{false};
    mutable std::mutex m_closeMutex;
};

class TcpListener
{
public:
    // Pause before accepting again after the process ran out of descriptors or memory.
    static constexpr std::chrono::milliseconds kAcceptBackOff{100};

    TcpListener();
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Listens on every local IPv4 address. Port 0 picks a free port. Throws SocketError.
    void listen(std::uint16_t port, int backlog);
    std::uint16_t port() const;

    // Waits up to timeout until accept() would not wait: a connection is
    // pending, or the listener was woken or closed. False when the time passed.
    bool waitForConnection(std::chrono::milliseconds timeout);

    // Waits for a connection; empty once wake() was called or the wait failed.
    std::optional<TcpSocket> accept();

    // From any thread: makes a waiting accept() return empty, now and from then on.
    void wake();

    void close();

private:
    int m_fd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::uint16_t m_port = 0;
};

} // namespace platform
