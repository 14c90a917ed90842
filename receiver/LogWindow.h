// The seam between the library object and its debug window: the library shows
// or hides the window and hands it every log line through a sink; the window
// reports its close box. The Qt window lives in DebugWindow; a host without a
// user-interface thread gets none, and the library then logs to its file only.
#pragma once

#include "DiagnosticLog.h"

#include <functional>
#include <memory>

namespace kavrel {

class LogWindow
{
public:
    virtual ~LogWindow() = default;
    virtual void setShown(bool shown) = 0;
    // Takes lines from any thread; adds them on the window's own thread.
    virtual DiagnosticLog::WindowSink sink() = 0;
};

// Creates the window for the given parent handle, or answers none when this
// thread cannot own one. onClose runs on the window's thread when the user
// closes it with its close box.
using LogWindowFactory =
    std::function<std::unique_ptr<LogWindow>(void* parentWindow, std::function<void()> onClose)>;

} // namespace kavrel
