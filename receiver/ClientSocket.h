// One accepted connection as its worker sees it: the socket plus the listener's
// handlers that run when the socket is closed while the worker is attached
// ("Disconnect") and when a send fails ("client error").
//
// Threads: the worker owns the connection; the listener's deactivation may call
// abortFromListener() from the host's thread. The socket itself is shared with
// the listener's worker table, so aborting never touches a freed socket.
#pragma once

#include "ReceiverCore.h"
#include "TcpSocket.h"

#include <memory>

namespace kavrel {

class ClientSocket
{
public:
    ClientSocket(std::shared_ptr<platform::TcpSocket> socket, std::shared_ptr<ReceiverCore> core);

    bool connected() const { return m_socket->connected(); }
    // The recorder's address: the one a trusted proxy named, or else the peer's.
    std::string remoteAddress() const
    {
        return m_recorderAddress.empty() ? m_socket->peerAddress() : m_recorderAddress;
    }
    // The peer's own address (a proxy's, when one stands in front).
    std::string peerAddress() const { return m_socket->peerAddress(); }
    // Worker thread, before the worker asks for remoteAddress().
    void setRecorderAddress(std::string address) { m_recorderAddress = std::move(address); }
    bool waitForData(std::chrono::milliseconds timeout) { return m_socket->waitForData(timeout); }
    std::size_t read(std::span<std::uint8_t> buffer) { return m_socket->receive(buffer); }

    // Sends the bytes within the time-out; a failure (a time-out too) runs the
    // error handler, closes the socket and is rethrown.
    std::size_t write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);

    // Closes the socket while the worker is attached.
    void close();

    // From the listener's deactivation, on another thread.
    void abortFromListener();

    // After the worker has returned: releases the socket without the handlers.
    void release() { m_socket->close(); }

private:
    void ServerSocket1ClientDisconnect() { m_core->LogLine("Disconnect"); }
    void ServerSocket1ClientError() { m_core->LogLine("client error"); }

    std::shared_ptr<platform::TcpSocket> m_socket;
    std::shared_ptr<ReceiverCore> m_core;
    std::string m_recorderAddress; // worker thread only; empty: the peer's
    // Set by whichever thread closes first, so "Disconnect" is written once.
    std::atomic<bool> m_disconnected{false};
};

} // namespace kavrel
