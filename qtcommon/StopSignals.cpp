#include "StopSignals.h"

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qtcommon {

namespace {

constexpr std::array<int, 2> kStopSignals{SIGINT, SIGTERM};

// The socket's writing end, for the signal handler; -1 while no watcher lives.
std::atomic<int> g_signalWrite{-1};
std::atomic<int> g_signalsSeen{0};
std::array<struct sigaction, kStopSignals.size()> g_previousActions{};

void onStopSignal(int number)
{
    // A second signal, while the stop runs or hangs, ends the process at once.
    if (g_signalsSeen.fetch_add(1) > 0) {
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int saved = errno;
    const int fd = g_signalWrite.load();
    const char byte = 1;
    if (fd >= 0 && ::write(fd, &byte, 1) < 0) {
        // cannot happen with an empty socket; the stop then waits for nothing
    }
    errno = saved;
}

} // namespace

StopSignals::StopSignals(std::function<void()> stop) : m_stop(std::move(stop))
{
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        return; // the signals keep their default: they end the process
    m_read = fds[0];
    g_signalWrite = fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_read, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { signalled(); });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &action, &g_previousActions[i]);
}

StopSignals::~StopSignals()
{
    if (m_read < 0)
        return;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &g_previousActions[i], nullptr);
    m_notifier.reset();
    ::close(g_signalWrite.exchange(-1));
    ::close(m_read);
}

void StopSignals::signalled()
{
    char bytes[16];
    while (::read(m_read, bytes, sizeof bytes) > 0) {
    }
    m_stop();
}

} // namespace qtcommon
