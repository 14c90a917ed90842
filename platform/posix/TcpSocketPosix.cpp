// TCP sockets over POSIX.
#include "FileDescriptor.h"
#include "TcpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

std::string errorText(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// poll() that resumes after signals, with the time left.
int pollFor(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    return retryOnInterrupt([&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return ::poll(fds, count, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    });
}

} // namespace

SocketError::SocketError(const std::string& what, int error)
    : std::runtime_error(errorText(what, error)), m_error(error)
{
}

TcpSocket::TcpSocket(int fd) : m_fd(fd) {}

TcpSocket::~TcpSocket()
{
    close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_aborted(other.m_aborted.load())
{
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_aborted = other.m_aborted.load();
    }
    return *this;
}

bool TcpSocket::connected() const
{
    std::lock_guard lock(m_closeMutex);
    return m_fd >= 0 && !m_aborted.load();
}

std::string TcpSocket::peerAddress() const
{
    if (!connected())
        return {};
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        addr.sin_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return text;
}

void TcpSocket::setNoDelay()
{
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void TcpSocket::setSendBufferSize(int bytes)
{
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

bool TcpSocket::waitForData(std::chrono::milliseconds timeout)
{
    if (m_fd < 0 || m_aborted)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    const int r = pollFor(&p, 1, timeout);
    return r > 0 && !m_aborted;
}

std::size_t TcpSocket::receive(std::span<std::uint8_t> buffer)
{
    if (buffer.empty() || m_fd < 0)
        return 0;
    const ssize_t n =
        retryOnInterrupt([&] { return ::recv(m_fd, buffer.data(), buffer.size(), 0); });
    if (n < 0)
        throw SocketError("receive", errno);
    return static_cast<std::size_t>(n);
}

std::size_t TcpSocket::send(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout)
{
    if (!connected())
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::send(m_fd, bytes.data() + sent, bytes.size() - sent,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
        });
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketError("send", errno);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLOUT, 0};
        if (left.count() <= 0 || pollFor(&p, 1, left) == 0)
            throw SocketError("send timed out", ETIMEDOUT);
    }
    return sent;
}

void TcpSocket::abort()
{
    std::lock_guard lock(m_closeMutex);
    m_aborted = true;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void TcpSocket::close()
{
    std::lock_guard lock(m_closeMutex);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

TcpListener::TcpListener()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw SocketError("pipe", errno);
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
}

TcpListener::~TcpListener()
{
    close();
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

void TcpListener::listen(std::uint16_t port, int backlog)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw SocketError("socket", errno);
    int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_fd, backlog) != 0) {
        const int error = errno;
        close();
        throw SocketError("listen on port " + std::to_string(port), error);
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
}

std::uint16_t TcpListener::port() const
{
    return m_port;
}

bool TcpListener::waitForConnection(std::chrono::milliseconds timeout)
{
    if (m_fd < 0)
        return true;
    pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    return pollFor(p, 2, timeout) != 0;
}

std::optional<TcpSocket> TcpListener::accept()
{
    for (;;) {
        if (m_fd < 0)
            return std::nullopt;
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        const int r = retryOnInterrupt([&] { return ::poll(p, 2, -1); });
        if (r <= 0 || (p[1].revents & POLLIN) != 0)
            return std::nullopt;
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            TcpSocket s(fd);
            s.setNoDelay();
            return s;
        }
        const int error = errno;
        if (error == EBADF || error == EINVAL || error == ENOTSOCK)
            return std::nullopt; // the listening socket is gone
        // Everything else concerns one pending connection (the system reports a
        // connection's network errors here) or a passing shortage of descriptors
        // or memory: go on accepting, backing off briefly where a retry at once
        // would fail the same way.
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
            pollfd w{m_wakeRead, POLLIN, 0};
            if (::poll(&w, 1, static_cast<int>(kAcceptBackOff.count())) > 0)
                return std::nullopt;
        }
    }
}

void TcpListener::wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &byte, 1);
}

void TcpListener::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace platform
