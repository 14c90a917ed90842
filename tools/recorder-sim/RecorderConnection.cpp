#include "RecorderConnection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <system_error>
#include <thread>

namespace recorder {

namespace {

using Clock = std::chrono::steady_clock;

// Reads while waiting for the peer to close go through a buffer of this size.
constexpr std::size_t kDrainBufferSize = 65536;

std::string errnoText(int error)
{
    return std::system_category().message(error);
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

bool isPeerGone(int error)
{
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN;
}

} // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string out;
    char two[4];
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned>(b));
        out += two;
    }
    return out;
}

bool RecorderConnection::connect(const std::string& host, std::uint16_t port, milliseconds timeout)
{
    m_socket.reset();
    m_peer = host + ":" + std::to_string(port);
    const Deadline deadline = Clock::now() + timeout;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        m_lastError = "cannot resolve host \"" + host + "\": " + gai_strerror(rc);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);

    m_lastError = "no address for " + m_peer;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        platform::FileDescriptor s(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!s.valid()) {
            m_lastError = "cannot create a socket: " + errnoText(errno);
            continue;
        }
        const int one = 1;
        setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (m_receiveBufferSize > 0)
            setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, &m_receiveBufferSize,
                       sizeof m_receiveBufferSize);
        if (!m_localAddress.empty()) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            if (inet_pton(AF_INET, m_localAddress.c_str(), &local.sin_addr) != 1 ||
                ::bind(s.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
                m_lastError = "cannot connect from " + m_localAddress + ": " + errnoText(errno);
                return false;
            }
        }
        int error = 0;
        if (::connect(s.get(), a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                error = errno;
            } else {
                pollfd p{s.get(), POLLOUT, 0};
                const int rc = platform::retryOnInterrupt(
                    [&] { return ::poll(&p, 1, remainingMs(deadline)); });
                if (rc == 0) {
                    m_lastError = "no answer from " + m_peer + " within " +
                                  std::to_string(timeout.count()) + " ms";
                    continue;
                }
                socklen_t length = sizeof error;
                if (rc < 0)
                    error = errno;
                else if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
        if (error == ECONNREFUSED) {
            m_lastError = "connection refused by " + m_peer + " (is a receiver listening there?)";
            continue;
        }
        if (error != 0) {
            m_lastError = "cannot connect to " + m_peer + ": " + errnoText(error);
            continue;
        }
        m_socket = std::move(s);
        m_lastError.clear();
        return true;
    }
    return false;
}

bool RecorderConnection::shutdownSend()
{
    if (!isOpen() || ::shutdown(m_socket.get(), SHUT_WR) != 0) {
        m_lastError = isOpen() ? "shutdown failed: " + errnoText(errno) : "not connected";
        return false;
    }
    return true;
}

RecorderConnection::Wait RecorderConnection::waitFor(short events, Deadline deadline)
{
    pollfd p{m_socket.get(), events, 0};
    const int rc = platform::retryOnInterrupt([&] { return ::poll(&p, 1, remainingMs(deadline)); });
    if (rc > 0)
        return Wait::Ready; // also on POLLERR/POLLHUP: the next call reports them
    if (rc == 0)
        return Wait::TimedOut;
    m_lastError = "poll failed: " + errnoText(errno);
    return Wait::Failed;
}

bool RecorderConnection::sendAll(std::span<const std::uint8_t> first,
                                 std::span<const std::uint8_t> second, Deadline deadline)
{
    if (!isOpen()) {
        m_lastError = "not connected";
        return false;
    }
    // sendmsg() takes non-const iovec pointers but does not write through them.
    iovec parts[2] = {{const_cast<std::uint8_t*>(first.data()), first.size()},
                      {const_cast<std::uint8_t*>(second.data()), second.size()}};
    std::size_t index = 0;
    while (index < 2) {
        if (parts[index].iov_len == 0) {
            ++index;
            continue;
        }
        msghdr message{};
        message.msg_iov = parts + index;
        message.msg_iovlen = 2 - index;
        const ssize_t n = platform::retryOnInterrupt(
            [&] { return ::sendmsg(m_socket.get(), &message, MSG_NOSIGNAL); });
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                const Wait w = waitFor(POLLOUT, deadline);
                if (w == Wait::TimedOut) {
                    m_lastError = "send to " + m_peer + " made no progress for " +
                                  std::to_string(kSendTimeout.count()) + " ms";
                    return false;
                }
                if (w == Wait::Failed)
                    return false;
                continue;
            }
            m_lastError = isPeerGone(errno) ? "peer " + m_peer + " closed the connection"
                                            : "send to " + m_peer + " failed: " + errnoText(errno);
            return false;
        }
        for (auto sent = static_cast<std::size_t>(n); sent > 0;) {
            const std::size_t taken = std::min(sent, parts[index].iov_len);
            parts[index].iov_base = static_cast<std::uint8_t*>(parts[index].iov_base) + taken;
            parts[index].iov_len -= taken;
            sent -= taken;
            if (parts[index].iov_len == 0)
                ++index;
        }
        deadline = Clock::now() + kSendTimeout; // progress was made
    }
    return true;
}

bool RecorderConnection::sendRaw(std::span<const std::uint8_t> bytes)
{
    return sendAll(bytes, {}, Clock::now() + kSendTimeout);
}

bool RecorderConnection::sendRawPieces(std::span<const std::uint8_t> bytes,
                                       std::span<const std::size_t> pieceSizes,
                                       std::chrono::microseconds gap)
{
    std::size_t offset = 0;
    for (std::size_t size : pieceSizes) {
        if (offset >= bytes.size())
            break;
        const std::size_t n = std::min(size, bytes.size() - offset);
        if (offset > 0 && gap.count() > 0)
            std::this_thread::sleep_for(gap);
        if (!sendRaw(bytes.subspan(offset, n)))
            return false;
        offset += n;
    }
    if (offset < bytes.size()) {
        if (offset > 0 && gap.count() > 0)
            std::this_thread::sleep_for(gap);
        return sendRaw(bytes.subspan(offset));
    }
    return true;
}

bool RecorderConnection::sendPacketOnly(std::uint16_t command,
                                        std::span<const std::uint8_t> payload)
{
    const auto header = kavrel::encodeHeader(command, static_cast<std::uint32_t>(payload.size()));
    return sendAll(header, payload, Clock::now() + kSendTimeout);
}

PacketResult RecorderConnection::sendPacket(std::uint16_t command,
                                            std::span<const std::uint8_t> payload,
                                            milliseconds ackTimeout)
{
    const auto start = Clock::now();
    if (!sendPacketOnly(command, payload)) {
        PacketResult result;
        result.expected = kavrel::encodeAck(command);
        result.outcome = PacketResult::Outcome::SendFailed;
        result.error = m_lastError;
        return result;
    }
    return awaitAck(command, start, ackTimeout);
}

PacketResult RecorderConnection::awaitAck(std::uint16_t command, Clock::time_point start,
                                          milliseconds ackTimeout)
{
    PacketResult result;
    result.expected = kavrel::encodeAck(command);
    const AckRead ack = readAck(ackTimeout);
    result.roundTrip = Clock::now() - start;
    result.received = ack.bytes;
    result.receivedCount = ack.count;
    const std::string got = hexBytes(std::span(ack.bytes).first(ack.count));
    switch (ack.status) {
    case AckRead::Status::Received:
        if (ack.bytes == result.expected) {
            result.outcome = PacketResult::Outcome::Acked;
        } else {
            result.outcome = PacketResult::Outcome::AckMismatch;
            result.error = "command " + std::to_string(command) + " answered " + got +
                           ", expected " + hexBytes(result.expected);
        }
        break;
    case AckRead::Status::TimedOut:
        result.outcome = PacketResult::Outcome::AckTimedOut;
        result.error = "no acknowledgement of command " + std::to_string(command) + " within " +
                       std::to_string(ackTimeout.count()) + " ms (got " +
                       std::to_string(ack.count) + " of 4 bytes" +
                       (ack.count > 0 ? ": " + got : std::string()) + ")";
        break;
    case AckRead::Status::PeerClosed:
        result.outcome = PacketResult::Outcome::PeerClosed;
        result.error = "peer " + m_peer + " closed the connection before acknowledging command " +
                       std::to_string(command) + " (got " + std::to_string(ack.count) +
                       " of 4 bytes)";
        break;
    case AckRead::Status::Failed:
        result.outcome = PacketResult::Outcome::ReadFailed;
        result.error = ack.error;
        break;
    }
    return result;
}

AckRead RecorderConnection::readAck(milliseconds timeout)
{
    AckRead ack;
    if (!isOpen()) {
        ack.error = m_lastError = "not connected";
        return ack;
    }
    const Deadline deadline = Clock::now() + timeout;
    while (ack.count < kavrel::kAckSize) {
        // Ask only for what the acknowledgement still lacks: the next one stays queued.
        const ssize_t n = platform::retryOnInterrupt([&] {
            return ::recv(m_socket.get(), ack.bytes.data() + ack.count,
                          kavrel::kAckSize - ack.count, 0);
        });
        if (n > 0) {
            ack.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            ack.status = AckRead::Status::PeerClosed;
            return ack;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (isPeerGone(errno)) {
                ack.status = AckRead::Status::PeerClosed;
            } else {
                ack.status = AckRead::Status::Failed;
                ack.error = m_lastError = "receive from " + m_peer + " failed: " + errnoText(errno);
            }
            return ack;
        }
        const Wait w = waitFor(POLLIN, deadline);
        if (w == Wait::TimedOut) {
            ack.status = AckRead::Status::TimedOut;
            return ack;
        }
        if (w == Wait::Failed) {
            ack.status = AckRead::Status::Failed;
            ack.error = m_lastError;
            return ack;
        }
    }
    ack.status = AckRead::Status::Received;
    return ack;
}

bool RecorderConnection::nothingPending()
{
    if (!isOpen())
        return true;
    std::uint8_t byte = 0;
    const ssize_t n = ::recv(m_socket.get(), &byte, 1, MSG_PEEK);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

RecorderConnection::CloseWait RecorderConnection::waitForClose(milliseconds timeout,
                                                               Bytes* received)
{
    if (!isOpen()) {
        m_lastError = "not connected";
        return CloseWait::Failed;
    }
    const Deadline deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> buffer(kDrainBufferSize);
    for (;;) {
        const ssize_t n = platform::retryOnInterrupt(
            [&] { return ::recv(m_socket.get(), buffer.data(), buffer.size(), 0); });
        if (n > 0) {
            if (received != nullptr)
                received->insert(received->end(), buffer.begin(), buffer.begin() + n);
            continue;
        }
        if (n == 0)
            return CloseWait::Closed;
        if (isPeerGone(errno))
            return CloseWait::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            m_lastError = "receive from " + m_peer + " failed: " + errnoText(errno);
            return CloseWait::Failed;
        }
        const Wait w = waitFor(POLLIN, deadline);
        if (w == Wait::TimedOut)
            return CloseWait::TimedOut;
        if (w == Wait::Failed)
            return CloseWait::Failed;
    }
}

RecorderConnection::CloseWait RecorderConnection::waitForHangUp(milliseconds timeout)
{
    if (!isOpen()) {
        m_lastError = "not connected";
        return CloseWait::Failed;
    }
    // POLLRDHUP: the peer's end of stream; POLLHUP and POLLERR (a reset) come unasked.
    switch (waitFor(POLLRDHUP, Clock::now() + timeout)) {
    case Wait::Ready:
        return CloseWait::Closed;
    case Wait::TimedOut:
        return CloseWait::TimedOut;
    case Wait::Failed:
        break;
    }
    return CloseWait::Failed;
}

} // namespace recorder
