// Serial devices over POSIX file descriptors. The descriptor is non-blocking,
// so "the device cannot take it now" is EAGAIN, and a bounded wait is
// poll(POLLOUT) against one deadline for the whole write. The wait goes in
// short slices with a write attempt after each: a pseudo-terminal does not
// always wake its writer when its reader frees room a little at a time.
#include "FileDescriptor.h"
#include "SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::chrono::milliseconds kPollSlice{10};

std::filesystem::path folderOf(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

bool ownOrSystem(const struct stat& st)
{
    return st.st_uid == ::getuid() || st.st_uid == 0;
}

bool othersMayWrite(const struct stat& st)
{
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// The folder that holds the device's name belongs to this user or the system,
// and no one else may write to it.
bool folderOfOwnOrSystem(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(folderOf(path).c_str(), &st) != 0)
        return false;
    return ownOrSystem(st) && !othersMayWrite(st);
}

} // namespace

std::string SerialDevice::folderRefusal(const std::string& path)
{
    const std::string folder = folderOf(path).string();
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) != 0)
        return {};
    if (!ownOrSystem(st))
        return "the folder " + folder + " belongs to another user";
    if (othersMayWrite(st))
        return "other users may write to the folder " + folder;
    return {};
}

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& path)
{
    if (!folderOfOwnOrSystem(path))
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return std::unique_ptr<SerialDevice>(new SerialDevice(fd));
}

SerialDevice::SerialDevice(int fd) : m_fd(fd) {}

SerialDevice::~SerialDevice()
{
    ::close(m_fd);
}

bool SerialDevice::isAt(const std::string& path) const
{
    struct stat named
    {
    };
    struct stat opened
    {
    };
    return ::stat(path.c_str(), &named) == 0 && ::fstat(m_fd, &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

std::size_t SerialDevice::write(std::string_view bytes, std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::write(m_fd, bytes.data() + written, bytes.size() - written); });
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_failed = true; // EIO when the reader's side has gone, or any other failure
            return written;
        }
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return written;
            pollfd pfd{m_fd, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, static_cast<int>(std::min(left, kPollSlice).count()));
            if (r < 0 && errno == EINTR)
                continue; // with the time now left
            if (r < 0 || (r > 0 && (pfd.revents & POLLOUT) == 0)) {
                m_failed = r > 0; // the device reports an error or a hang-up
                return written;
            }
            break;
        }
    }
    return written;
}

} // namespace platform
