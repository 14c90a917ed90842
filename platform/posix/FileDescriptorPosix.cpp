// The whole reads and writes of FileDescriptor.h with read, write, pread and
// pwrite.
#include "FileDescriptor.h"

#include <sys/types.h>

namespace platform {

int writeAll(int fd, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (n < 0)
            return errno;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
}

int writeAllAt(int fd, std::span<const std::byte> bytes, std::uint64_t offset)
{
    while (!bytes.empty()) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)); });
        if (n < 0)
            return errno;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int readAllAt(int fd, std::span<std::byte> bytes, std::uint64_t offset)
{
    while (!bytes.empty()) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)); });
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

} // namespace platform
