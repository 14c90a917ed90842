// Catches X protocol errors for the lifetime of one object. Xlib's error
// handler is process-wide and its default ends the process, so a window that
// vanishes between two requests (BadWindow) would take the station with it.
// The trap swaps in a handler that only records the error, and syncs with the
// server before it restores the earlier handler, so that every error of its
// requests has arrived while it stood.
//
// Threads: the handler and the recorded error are process-wide; traps are used
// on the user-interface thread only and are never nested.
#pragma once

#include <X11/Xlib.h>

namespace platform::x11 {

class ErrorTrap
{
public:
    explicit ErrorTrap(Display* display) : m_display(display)
    {
        XSync(m_display, False);
        s_errorCode = Success;
        m_previous = XSetErrorHandler(&record);
    }
    ~ErrorTrap()
    {
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // True when any request since the trap was set has failed.
    bool failed()
    {
        XSync(m_display, False);
        return s_errorCode != Success;
    }

private:
    static int record(Display*, XErrorEvent* event)
    {
        s_errorCode = event->error_code;
        return 0;
    }

    Display* m_display;
    XErrorHandler m_previous = nullptr;
    static inline int s_errorCode = Success;
};

} // namespace platform::x11
