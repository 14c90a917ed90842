#include "OutputFile.h"

#include "FileDescriptor.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace {

namespace fs = std::filesystem;

// Outputs are readable by everyone the umask allows, as files a user makes.
constexpr mode_t kFileMode = 0666;
// The destination's name in the temporary name, for a person clearing up after
// a killed export; cut so that the temporary name stays a valid name.
constexpr std::size_t kNameInTemporaryBytes = 64;
// Random characters of a temporary name: 62^12 names, none to be guessed.
constexpr std::size_t kRandomCharacters = 12;
constexpr std::string_view kRandomAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// Names tried before giving up when every one is taken (someone plants them).
constexpr int kTemporaryNameAttempts = 100;

std::string cannotWrite(const std::string& path, int error)
{
    return "cannot write " + path + ": " + std::strerror(error);
}

// A temporary file's name, removed when the write does not end in the rename.
class TemporaryName
{
public:
    TemporaryName() = default;
    ~TemporaryName()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void set(std::string path) { m_path = std::move(path); }
    const std::string& path() const { return m_path; }
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

// kRandomCharacters unpredictable characters; 0 or the errno.
int randomSuffix(std::string& suffix)
{
    std::array<unsigned char, kRandomCharacters> bytes{};
    const ssize_t n =
        platform::retryOnInterrupt([&] { return ::getrandom(bytes.data(), bytes.size(), 0); });
    if (n != static_cast<ssize_t>(bytes.size()))
        return n < 0 ? errno : EIO;
    suffix.clear();
    for (unsigned char b : bytes)
        suffix.push_back(kRandomAlphabet[b % kRandomAlphabet.size()]);
    return 0;
}

// Creates a new file under a fresh temporary name in folder; the descriptor,
// or -1 with errno set.
int createTemporary(const fs::path& folder, const std::string& name, TemporaryName& temporary)
{
    const std::string stem =
        std::string(kOutputPartialPrefix) + name.substr(0, kNameInTemporaryBytes) + "-";
    int error = EEXIST;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && error == EEXIST; ++attempt) {
        std::string suffix;
        if (const int e = randomSuffix(suffix); e != 0) {
            errno = e;
            return -1;
        }
        const std::string path = (folder / (stem + suffix)).string();
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd >= 0) {
            temporary.set(path);
            return fd;
        }
        error = errno;
    }
    errno = error;
    return -1;
}

int writeAll(int fd, std::string_view bytes)
{
    return platform::writeAll(fd, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

// Gives the temporary file its name; replaces what has the name only when
// asked. 0 or the errno (EEXIST: the name is taken).
int giveName(const std::string& temporary, const std::string& path, ExistingOutput existing)
{
    if (existing == ExistingOutput::Replace)
        return ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link never replaces a name either.
    if (::link(temporary.c_str(), path.c_str()) != 0)
        return errno;
    ::unlink(temporary.c_str());
    return 0;
}

// Makes the new name durable; a failure leaves it to the file system's next
// commit.
void syncFolder(const fs::path& folder)
{
    const platform::FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        (void)::fsync(fd.get());
}

fs::path folderOf(const fs::path& path)
{
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

} // namespace

std::string existsAlreadyText(const std::string& path)
{
    return path + " exists already (give --force to replace it)";
}

std::string folderOutputText(const std::string& path)
{
    return cannotWrite(path, EISDIR);
}

OutputName outputName(const std::string& path)
{
    struct stat status = {};
    if (::lstat(path.c_str(), &status) != 0)
        return OutputName::Free;
    return S_ISDIR(status.st_mode) ? OutputName::Folder : OutputName::Taken;
}

std::string writeOutputFile(const std::string& path, ExistingOutput existing,
                            const OutputProducer& produce)
{
    const fs::path target(path);
    const std::string name = target.filename().string();
    if (name.empty() || name == "." || name == "..")
        return folderOutputText(path);
    const fs::path folder = folderOf(target);

    TemporaryName temporary;
    platform::FileDescriptor fd(createTemporary(folder, name, temporary));
    if (fd.get() < 0)
        return cannotWrite(path, errno);
    int error = 0;
    const OutputSink sink = [&](std::string_view bytes) {
        if (error == 0)
            error = writeAll(fd.get(), bytes);
        return error;
    };
    const std::string produced = produce(sink);
    if (error != 0)
        return cannotWrite(path, error);
    if (!produced.empty())
        return produced;
    if (::fsync(fd.get()) != 0)
        return cannotWrite(path, errno);
    if (const int closeError = fd.close(); closeError != 0)
        return cannotWrite(path, closeError);
    if (const int e = giveName(temporary.path(), path, existing); e != 0)
        return e == EEXIST ? existsAlreadyText(path) : cannotWrite(path, e);
    temporary.release();
    syncFolder(folder);
    return {};
}

std::string writeOutputFile(const std::string& path, ExistingOutput existing,
                            std::string_view bytes)
{
    return writeOutputFile(path, existing, [bytes](const OutputSink& sink) {
        sink(bytes); // its error is the write's own
        return std::string();
    });
}

} // namespace archive
