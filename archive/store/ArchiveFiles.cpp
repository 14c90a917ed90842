#include "ArchiveFiles.h"

#include "ArchiveDays.h"
#include "FileDescriptor.h"
#include "Paths.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace monitor {

namespace {

namespace fs = std::filesystem;

// Archived files are readable by everyone the umask allows, as before.
constexpr mode_t kFileMode = 0666;

using Descriptor = platform::FileDescriptor;

// A name no other write of this or another process uses at the same time.
std::string partialPath(const std::string& folder)
{
    static std::atomic<std::uint64_t> counter{0};
    return platform::joinPath(folder, std::string(kPartialFilePrefix) + std::to_string(::getpid()) +
                                          "-" + std::to_string(++counter));
}

int writeAll(int fd, std::initializer_list<ByteSpan> parts)
{
    for (ByteSpan part : parts) {
        if (const int error = platform::writeAll(fd, std::as_bytes(part)); error != 0)
            return error;
    }
    return 0;
}

// Writes the parts to a new temporary file in folder and flushes it to the
// disk. Gives its path, or the error (the file is removed again then).
WrittenFile writePartial(const std::string& folder, std::initializer_list<ByteSpan> parts)
{
    const std::string path = partialPath(folder);
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
    if (fd.get() < 0)
        return {{}, errno};
    int error = writeAll(fd.get(), parts);
    if (error == 0 && ::fdatasync(fd.get()) != 0)
        error = errno;
    const int closeError = fd.close();
    if (error == 0)
        error = closeError;
    if (error != 0) {
        ::unlink(path.c_str());
        return {{}, error};
    }
    return {path, 0};
}

// Makes the folder's entries (the name just given) durable, so that the
// journal, told next that the file is archived, never outlasts its name. A
// failure leaves the name to the file system's next commit.
void syncFolder(const std::string& folder)
{
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        (void)::fsync(fd.get());
}

} // namespace

WrittenFile writeNewFile(const std::string& folder, const std::function<std::string(int)>& name,
                         std::initializer_list<ByteSpan> parts)
{
    const WrittenFile partial = writePartial(folder, parts);
    if (!partial)
        return partial;
    // A link never replaces an existing name: it fails with EEXIST instead.
    int error = EEXIST;
    for (int index = 1; index <= kMaxSameSecondFiles; ++index) {
        std::string path = platform::joinPath(folder, name(index));
        if (::link(partial.path.c_str(), path.c_str()) == 0) {
            ::unlink(partial.path.c_str());
            syncFolder(folder);
            return {std::move(path), 0};
        }
        error = errno;
        if (error != EEXIST)
            break;
    }
    ::unlink(partial.path.c_str());
    return {{}, error, error == EEXIST};
}

bool nameCannotBeMade(int error)
{
    return error == ENAMETOOLONG || error == EINVAL || error == EILSEQ;
}

bool replaceFile(const std::string& path, ByteSpan bytes)
{
    const WrittenFile partial = writePartial(fs::path(path).parent_path().string(), {bytes});
    if (!partial)
        return false;
    if (::rename(partial.path.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(partial.path.c_str());
    return false;
}

int removePartialFiles(const std::string& programFolder)
{
    if (programFolder.empty())
        return 0;
    // Only the archive's own day folders are looked into, and the recorder
    // folders in them.
    int removed = 0;
    for (const archive::DayFolder& day : archive::listDayFolders(programFolder)) {
        std::error_code ec;
        for (fs::directory_iterator it(day.path, ec), end; !ec && it != end; it.increment(ec)) {
            if (!it->is_directory(ec) || it->is_symlink(ec))
                continue;
            std::error_code inner;
            for (fs::directory_iterator file(it->path(), inner), last; !inner && file != last;
                 file.increment(inner)) {
                std::error_code ignored;
                if (file->path().filename().string().starts_with(kPartialFilePrefix) &&
                    file->is_regular_file(ignored) && fs::remove(file->path(), ignored))
                    ++removed;
            }
        }
    }
    return removed;
}

} // namespace monitor
