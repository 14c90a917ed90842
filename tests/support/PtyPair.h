// A pseudo-terminal for tests of serial-device writers: the code under test
// opens the device path; the test reads what arrives on the other side, or
// stops reading, or hangs up.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace testsupport {

class PtyPair
{
public:
    PtyPair()
    {
        m_reader = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_reader < 0 || ::grantpt(m_reader) != 0 || ::unlockpt(m_reader) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        m_devicePath = ::ptsname(m_reader);
    }
    ~PtyPair() { hangUp(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The side that the writer under test opens.
    const std::string& devicePath() const { return m_devicePath; }

    // Closes the reader's side: the device's writes fail with EIO from now on.
    void hangUp()
    {
        if (m_reader >= 0)
            ::close(m_reader);
        m_reader = -1;
    }

    // Reads `count` bytes, waiting for them at most `timeout`; answers what came.
    std::string read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string out;
        while (out.size() < count && readSome(out, count - out.size(), deadline)) {
        }
        return out;
    }

    // Reads until the text ends with `marker` (or the time is up); answers all
    // that came, the marker included.
    std::string readThrough(const std::string& marker,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string out;
        while (!out.ends_with(marker) && readSome(out, kChunk, deadline)) {
        }
        return out;
    }

    // Writes text through an opening of the device of its own, as a second
    // writer would: it reaches the reader in order with the bytes of the
    // writer under test, and so marks a moment in what the reader sees.
    void writeMark(const std::string& text)
    {
        const int fd = ::open(m_devicePath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        const bool written =
            fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0)
            ::close(fd);
        if (!written)
            throw std::runtime_error("cannot write a mark into the pseudo-terminal");
    }

    // Writes filler through a second opening of the device until the reader's
    // side can take no more, as if the reader had stopped long ago. The pty
    // moves written bytes on to the reader's side a little later and so makes
    // room again: filling ends only when no room has come back for a while.
    void fillUntilFull()
    {
        const int fd = ::open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const std::string filler = "filler\r\n";
        constexpr int kQuietMs = 50;
        pollfd pfd{fd, POLLOUT, 0};
        do {
            while (::write(fd, filler.data(), filler.size()) > 0) {
            }
        } while (::poll(&pfd, 1, kQuietMs) > 0 && (pfd.revents & POLLOUT) != 0);
        ::close(fd);
    }

private:
    static constexpr std::size_t kChunk = 4096;

    // Appends up to `most` bytes once any have come; false when the time is up
    // or the reader's side fails.
    bool readSome(std::string& out, std::size_t most,
                  std::chrono::steady_clock::time_point deadline)
    {
        for (;;) {
            char buffer[kChunk];
            const ssize_t n = ::read(m_reader, buffer, std::min(most, sizeof buffer));
            if (n > 0) {
                out.append(buffer, static_cast<std::size_t>(n));
                return true;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{m_reader, POLLIN, 0};
            ::poll(&pfd, 1, static_cast<int>(left.count()));
        }
    }

    int m_reader = -1;
    std::string m_devicePath;
};

} // namespace testsupport
