#include "TestAckServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace recorder {

namespace {

// Every wait of the server thread looks up at its stop token this often.
constexpr int kPollSliceMs = 20;
constexpr std::size_t kReadBuffer = 65536;

// Reads exactly n bytes unless the peer closes or a stop is requested.
bool readExactly(int fd, std::uint8_t* out, std::size_t n, std::stop_token stop)
{
    std::size_t got = 0;
    while (got < n && !stop.stop_requested()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kPollSliceMs) <= 0)
            continue;
        const ssize_t r = ::recv(fd, out + got, n - got, 0);
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return got == n;
}

void sendBytes(int fd, const std::uint8_t* data, std::size_t n)
{
    ::send(fd, data, n, MSG_NOSIGNAL);
}

} // namespace

TestAckServer::TestAckServer(Mode mode) : m_mode(mode)
{
    m_listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (!m_listener.valid() ||
        ::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener.get(), 8) != 0 ||
        ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test server cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::jthread([this](std::stop_token stop) { serve(stop); });
}

TestAckServer::~TestAckServer()
{
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<TestAckServer::Packet> TestAckServer::packets() const
{
    std::lock_guard lock(m_mutex);
    return m_packets;
}

std::uint64_t TestAckServer::bytesReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_bytesReceived;
}

bool TestAckServer::waitForPackets(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_packets.size() >= count; });
}

void TestAckServer::serve(std::stop_token stop)
{
    try {
        while (!stop.stop_requested()) {
            pollfd p{m_listener.get(), POLLIN, 0};
            if (::poll(&p, 1, kPollSliceMs) <= 0)
                continue;
            platform::FileDescriptor connection(
                ::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.valid())
                continue;
            const int one = 1;
            setsockopt(connection.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            serveConnection(connection.get(), stop);
        }
    } catch (...) {
        // A test server that fails shows up as missing packets in the test.
    }
}

void TestAckServer::serveConnection(int fd, std::stop_token stop)
{
    if (m_mode == Mode::Sink) {
        std::vector<std::uint8_t> buffer(kReadBuffer);
        while (!stop.stop_requested()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kPollSliceMs) <= 0)
                continue;
            const ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (r <= 0)
                return;
            std::lock_guard lock(m_mutex);
            m_bytesReceived += static_cast<std::uint64_t>(r);
        }
        return;
    }
    for (;;) {
        kavrel::HeaderBytes header{};
        if (!readExactly(fd, header.data(), header.size(), stop))
            return;
        const auto h = kavrel::decodeHeader(header);
        Packet packet{h.command, std::vector<std::uint8_t>(h.size)};
        if (!readExactly(fd, packet.payload.data(), packet.payload.size(), stop))
            return;
        {
            std::lock_guard lock(m_mutex);
            m_bytesReceived += header.size() + packet.payload.size();
            m_packets.push_back(std::move(packet));
        }
        m_changed.notify_all();
        kavrel::AckBytes ack = kavrel::encodeAck(h.command);
        switch (m_mode) {
        case Mode::Ack:
            sendBytes(fd, ack.data(), ack.size());
            break;
        case Mode::WrongAck:
            std::swap(ack[2], ack[3]);
            sendBytes(fd, ack.data(), ack.size());
            break;
        case Mode::CloseWithoutAck:
            return;
        case Mode::HalfAckThenClose:
            sendBytes(fd, ack.data(), 2);
            return;
        case Mode::Silent:
        case Mode::Sink:
            break;
        }
    }
}

} // namespace recorder
