// Owns one socket file descriptor and closes it exactly once.
#pragma once

#include <utility>

namespace recorder {

class SocketHandle
{
public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : m_fd(fd) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

} // namespace recorder
