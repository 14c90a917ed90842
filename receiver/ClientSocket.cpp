#include "ClientSocket.h"

namespace kavrel {

ClientSocket::ClientSocket(std::shared_ptr<platform::TcpSocket> socket,
                           std::shared_ptr<ReceiverCore> core)
    : m_socket(std::move(socket)), m_core(std::move(core))
{
}

std::size_t ClientSocket::write(std::span<const std::uint8_t> bytes,
                                std::chrono::milliseconds timeout)
{
    try {
        return m_socket->send(bytes, timeout);
    } catch (const platform::SocketError&) {
        ServerSocket1ClientError();
        close();
        throw;
    }
}

void ClientSocket::close()
{
    m_socket->abort();
    m_socket->close();
    if (!m_disconnected.exchange(true))
        ServerSocket1ClientDisconnect();
}

void ClientSocket::abortFromListener()
{
    m_socket->abort();
    if (!m_disconnected.exchange(true))
        ServerSocket1ClientDisconnect();
}

} // namespace kavrel
