// The screen saver over X11: a time-out of 0 switches the server's saver off
// until somebody sets it again. The connection is our own and short-lived, so
// that this layer needs nothing from the window toolkit.
#include "ScreenSaver.h"

#include <X11/Xlib.h>

namespace platform {

bool switchScreenSaverOff()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int timeout = 0, interval = 0, preferBlanking = 0, allowExposures = 0;
    XGetScreenSaver(display, &timeout, &interval, &preferBlanking, &allowExposures);
    XSetScreenSaver(display, 0, interval, preferBlanking, allowExposures);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

} // namespace platform
