// The descriptor owner and the whole reads and writes beside it: each
// descriptor closed exactly once, whole transfers over real files, and pipes
// whose transfers signals keep interrupting.
#include "FileDescriptor.h"

#include "TempFolder.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <span>
#include <stdexcept>
#include <string>
#include <sys/time.h>
#include <thread>
#include <vector>

using platform::FileDescriptor;

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

int openFile(const std::string& path, int flags)
{
    return ::open(path.c_str(), flags | O_CLOEXEC, 0600);
}

std::span<const std::byte> bytesOf(const std::string& text)
{
    return std::as_bytes(std::span(text));
}

// SIGALRM every millisecond while it lives, with a handler that does not ask
// for interrupted calls to restart: blocking reads and writes of the thread
// that takes the signal fail with EINTR or come back short.
class InterruptingTimer
{
public:
    InterruptingTimer()
    {
        struct sigaction action = {};
        action.sa_handler = [](int) { s_signals.fetch_add(1); };
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &m_previous);
        const itimerval every{{0, kPeriodUs}, {0, kPeriodUs}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~InterruptingTimer()
    {
        const itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &m_previous, nullptr);
    }
    InterruptingTimer(const InterruptingTimer&) = delete;
    InterruptingTimer& operator=(const InterruptingTimer&) = delete;

    // Waits until two more signals have come, so that one came while the
    // other side was blocked.
    static void awaitSignals()
    {
        const int target = s_signals.load() + 2;
        while (s_signals.load() < target)
            std::this_thread::yield();
    }
    // For a helper thread: the signals go to the thread under test only.
    static void blockHere()
    {
        sigset_t set;
        ::sigemptyset(&set);
        ::sigaddset(&set, SIGALRM);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

private:
    static constexpr suseconds_t kPeriodUs = 1000;
    static inline std::atomic<int> s_signals{0};
    struct sigaction m_previous = {};
};

struct Pipe
{
    Pipe()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot make a pipe");
        readEnd.reset(ends[0]);
        writeEnd.reset(ends[1]);
    }
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

// While it lives, writing into a pipe without a reader fails with EPIPE
// instead of ending the process.
class IgnoredBrokenPipes
{
public:
    IgnoredBrokenPipes()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &m_previous);
    }
    ~IgnoredBrokenPipes() { ::sigaction(SIGPIPE, &m_previous, nullptr); }
    IgnoredBrokenPipes(const IgnoredBrokenPipes&) = delete;
    IgnoredBrokenPipes& operator=(const IgnoredBrokenPipes&) = delete;

private:
    struct sigaction m_previous = {};
};

std::vector<std::byte> pattern(std::size_t size)
{
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::byte>(i * 7 + i / 251);
    return bytes;
}

} // namespace

TEST(FileDescriptor, ClosesEachDescriptorExactlyOnce)
{
    TempFolder folder;
    const std::string path = folder.path() + "file";
    const int a = openFile(path, O_RDWR | O_CREAT);
    const int b = openFile(path, O_RDONLY);
    ASSERT_TRUE(isOpen(a) && isOpen(b));
    {
        FileDescriptor first(a);
        FileDescriptor second(std::move(first));
        EXPECT_FALSE(first.valid()) << "a moved-from owner holds nothing";
        EXPECT_EQ(second.get(), a);
        FileDescriptor third(b);
        third = std::move(second);
        EXPECT_FALSE(isOpen(b)) << "an assignment closes what the target held";
        EXPECT_TRUE(isOpen(a)) << "and keeps what it takes";
        third.reset();
        EXPECT_FALSE(isOpen(a)) << "reset closes";
        EXPECT_FALSE(third.valid());
    }
    const int c = openFile(path, O_RDONLY);
    int d = -1;
    {
        FileDescriptor owner(c);
        EXPECT_EQ(owner.close(), 0) << "a good close says so";
        EXPECT_FALSE(isOpen(c));
        d = openFile(path, O_RDONLY);
        ASSERT_EQ(d, c) << "the number is taken again, by a descriptor the owner must not close";
    }
    EXPECT_TRUE(isOpen(d)) << "an owner closed early closes nothing at its end";
    ::close(d);
}

TEST(FileDescriptor, WholeReadsAndWritesOverARealFile)
{
    TempFolder folder;
    const std::string path = folder.path() + "file";
    const FileDescriptor fd(openFile(path, O_RDWR | O_CREAT));
    ASSERT_EQ(platform::writeAll(fd.get(), bytesOf("head-")), 0);
    ASSERT_EQ(platform::writeAllAt(fd.get(), bytesOf("XY"), 9), 0);
    // Writing at an offset left the position where it was.
    ASSERT_EQ(platform::writeAll(fd.get(), bytesOf("tai")), 0);

    struct Case
    {
        const char* legend;
        std::uint64_t offset;
        std::size_t size;
        int result;
        std::string bytes; // what was read, when it succeeded
    };
    const Case cases[] = {
        {"the whole file; the gap before the offset write reads as a zero", 0, 11, 0,
         std::string("head-tai") + '\0' + "XY"},
        {"a part in the middle", 5, 4, 0, std::string("tai") + '\0'},
        {"up to the last byte", 10, 1, 0, "Y"},
        {"a read past the end fails whole", 9, 3, EIO, ""},
        {"nothing at the end is no failure", 11, 0, 0, ""},
    };
    for (const Case& c : cases) {
        std::string read(c.size, '\0');
        EXPECT_EQ(platform::readAllAt(fd.get(), std::as_writable_bytes(std::span(read)), c.offset),
                  c.result)
            << c.legend;
        if (c.result == 0) {
            EXPECT_EQ(read, c.bytes) << c.legend;
        }
    }

    const FileDescriptor readOnly(openFile(path, O_RDONLY));
    EXPECT_EQ(platform::writeAll(readOnly.get(), bytesOf("x")), EBADF);
    EXPECT_EQ(platform::writeAllAt(readOnly.get(), bytesOf("x"), 0), EBADF);
}

TEST(FileDescriptor, InterruptedTransfersGoOnToTheirEnd)
{
    // Larger than a pipe holds: the writer blocks while the reader is slow.
    const std::vector<std::byte> sent = pattern(std::size_t{1} << 20);
    constexpr std::size_t kChunk = 16 << 10;
    const IgnoredBrokenPipes brokenPipes; // a failed side ends the other, not the test
    InterruptingTimer timer;

    // Writing: this thread blocks on a full pipe and takes the signals.
    {
        Pipe pipe;
        std::vector<std::byte> received;
        std::jthread reader([&] {
            InterruptingTimer::blockHere();
            std::vector<std::byte> chunk(kChunk);
            for (;;) {
                InterruptingTimer::awaitSignals();
                const ssize_t n = ::read(pipe.readEnd.get(), chunk.data(), chunk.size());
                if (n <= 0)
                    return;
                received.insert(received.end(), chunk.begin(), chunk.begin() + n);
            }
        });
        EXPECT_EQ(platform::writeAll(pipe.writeEnd.get(), sent), 0);
        pipe.writeEnd.reset();
        reader.join();
        EXPECT_TRUE(received == sent)
            << "bytes lost or repeated: " << received.size() << " of " << sent.size();
    }

    // Reading: this thread blocks on an empty pipe and takes the signals.
    {
        Pipe pipe;
        std::jthread writer([&] {
            InterruptingTimer::blockHere();
            for (std::size_t at = 0; at < sent.size(); at += kChunk) {
                InterruptingTimer::awaitSignals();
                const std::size_t size = std::min(kChunk, sent.size() - at);
                if (platform::writeAll(pipe.writeEnd.get(), std::span(sent).subspan(at, size)) != 0)
                    return;
            }
        });
        int interrupted = 0;
        std::vector<std::byte> received;
        std::vector<std::byte> chunk(kChunk);
        while (received.size() < sent.size()) {
            const ssize_t n = platform::retryOnInterrupt([&] {
                const ssize_t r = ::read(pipe.readEnd.get(), chunk.data(), chunk.size());
                if (r < 0 && errno == EINTR)
                    ++interrupted;
                return r;
            });
            if (n <= 0)
                break;
            received.insert(received.end(), chunk.begin(), chunk.begin() + n);
        }
        pipe.readEnd.reset();
        writer.join();
        EXPECT_TRUE(received == sent)
            << "bytes lost or repeated: " << received.size() << " of " << sent.size();
        EXPECT_GT(interrupted, 0) << "no read was interrupted: the test tested nothing";
    }
}
