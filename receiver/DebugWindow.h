// The library's debug window: caption "Debug Window", a 349 x 316 client area
// filled by the read-only text area `Memo1`. It belongs to the thread that
// started the library, which must run the Qt application; lines from other
// threads are queued to that thread's event loop and never wait for it.
#pragma once

#include "LogWindow.h"

namespace kavrel {

// The lines the window keeps; older ones are dropped as new ones come.
inline constexpr int kDebugWindowLines = 10000;

// The LogWindowFactory for hosts that run a Qt application on the calling
// thread; answers none for every other host.
std::unique_ptr<LogWindow> makeDebugWindow(void* parentWindow, std::function<void()> onClose);

} // namespace kavrel
