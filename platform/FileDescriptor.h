// An open file descriptor, owned: closed once, however the code that opened it
// ends. Beside it the reads and writes that go on when a signal interrupts
// them or a write is short, so that no caller writes that loop again.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>
#include <unistd.h>
#include <utility>

namespace platform {

class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the descriptor held, if any (its error is of no use here), and
    // holds fd instead.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes now; the error of close counts (some file systems report a full
    // disk only there). 0 when closed well, else the errno.
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

// Calls call again for as long as a signal interrupts it (it fails with
// EINTR) and gives its result.
template <typename Call> auto retryOnInterrupt(Call call) -> decltype(call())
{
    decltype(call()) result;
    do
        result = call();
    while (result == -1 && errno == EINTR);
    return result;
}

// Writes all of bytes at the descriptor's position, going on after short
// writes; 0, or the errno.
int writeAll(int fd, std::span<const std::byte> bytes);
// Writes all of bytes at offset, the descriptor's position unchanged; 0, or
// the errno.
int writeAllAt(int fd, std::span<const std::byte> bytes, std::uint64_t offset);
// Reads exactly bytes.size() bytes at offset; 0, or the errno (EIO when the
// file ends first).
int readAllAt(int fd, std::span<std::byte> bytes, std::uint64_t offset);

} // namespace platform
