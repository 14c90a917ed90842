// SIGINT (Ctrl-C) and SIGTERM end a Qt program in order: the signal only
// wakes the event loop, which then runs the program's stop, such as closing
// its window, while everything the window uses (the X connection among them)
// is still there. Without this the signal ends the process where it stands.
// A second signal ends it so, at once, should the stop hang.
//
// Ownership: main owns one watcher, made after the application object and
// living until its event loop has returned. The signal handlers write one byte
// into a socket pair whose descriptors only the watcher's constructor and
// destructor change; the event loop reads it on the main thread and calls the
// stop there. Only the first signal writes, so the stop runs once.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace qtcommon {

class StopSignals
{
public:
    explicit StopSignals(std::function<void()> stop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    void signalled();

    std::function<void()> m_stop;
    int m_read = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace qtcommon
