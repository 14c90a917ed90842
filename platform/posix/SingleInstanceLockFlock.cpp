// The named lock as flock() on a file in the user's runtime folder
// ($XDG_RUNTIME_DIR; else a folder of this computer's in the user's own home,
// made private when missing; see Paths.h), never in a folder that other users
// share. The kernel drops a flock when the last descriptor of it closes,
// which happens at every kind of process end, so no stale lock survives. The
// file itself stays; only the lock on it matters.
#include "FileDescriptor.h"
#include "Paths.h"
#include "SingleInstanceLock.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <span>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

class FlockLock final : public SingleInstanceLock
{
public:
    explicit FlockLock(FileDescriptor fd) : m_fd(std::move(fd)) {}

private:
    FileDescriptor m_fd; // holds the lock while open; none when the lock could not be made
};

constexpr mode_t kPrivateFolder = 0700;

// The lock file's path, its folder (and that folder's parent) made when missing.
std::string lockPath(const std::string& name)
{
    const std::string folder = userRuntimeFolder();
    if (folder.empty())
        return {};
    const std::string parent = folder.substr(0, folder.rfind(kPathSeparator));
    if (!parent.empty())
        ::mkdir(parent.c_str(), kPrivateFolder);
    ::mkdir(folder.c_str(), kPrivateFolder);
    return joinPath(folder, name + ".lock");
}

} // namespace

std::unique_ptr<SingleInstanceLock> SingleInstanceLock::acquire(const std::string& name)
{
    const std::string path = lockPath(name);
    FileDescriptor fd(
        path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid())
        return std::make_unique<FlockLock>(FileDescriptor());
    // A lock file that another user made, in a shared folder, is not ours to
    // wait on: another user must not be able to keep the station from starting.
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
        return std::make_unique<FlockLock>(FileDescriptor());
    if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0)
        return errno == EWOULDBLOCK ? nullptr : std::make_unique<FlockLock>(FileDescriptor());
    // The holder's process id, for a second start to tell whom it met; the
    // lock holds without it.
    if (::ftruncate(fd.get(), 0) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        writeAllAt(fd.get(), std::as_bytes(std::span(pid)), 0);
    }
    return std::make_unique<FlockLock>(std::move(fd));
}

long SingleInstanceLock::holder(const std::string& name)
{
    const FileDescriptor fd(::open(lockPath(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return 0;
    char text[32] = {};
    const ssize_t n = retryOnInterrupt([&] { return ::read(fd.get(), text, sizeof text - 1); });
    if (n <= 0)
        return 0;
    return std::strtol(text, nullptr, 10);
}

} // namespace platform
