// The desktop's top-level windows as the station sees them: find another
// program's main window by its title, retitle it, bring it to the front, and
// keep our own main window above it. Titles cross this interface as
// Windows-1252 text, like every text of the station; the implementations
// convert at the window system's edge.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A window system's id for a window (an X11 window id); 0 is no window.
using NativeWindow = std::uint64_t;
inline constexpr NativeWindow kNoWindow = 0;

class WindowSystem
{
public:
    virtual ~WindowSystem() = default;

    // Other programs' top-level windows, from the front of the stack to its back.
    // Windows of this process are left out.
    virtual std::vector<NativeWindow> topLevelWindows() = 0;
    // The window's class name; empty when it has none or is gone.
    virtual std::string className(NativeWindow window) = 0;
    // The window's title in Windows-1252; empty when it has none or is gone.
    virtual std::string title(NativeWindow window) = 0;
    virtual bool setTitle(NativeWindow window, std::string_view windows1252) = 0;

    // The window that has the user's attention now, or kNoWindow.
    virtual NativeWindow foregroundWindow() = 0;
    // Asks for the window to come to the front with the input focus; false
    // when it is gone or cannot take the focus.
    virtual bool bringToForeground(NativeWindow window) = 0;
    // Puts our own main window into the band above all normal windows, or
    // takes it out, without moving, resizing or recreating it.
    virtual bool setTopmost(NativeWindow ownWindow, bool topmost) = 0;
};

// A window system with no windows: nothing is found and every call fails.
std::unique_ptr<WindowSystem> makeNullWindowSystem();

// The X11 display (empty: $DISPLAY) when useX11 is set and the display opens;
// otherwise the null window system. The program passes useX11 only when its
// own windows are on X11, so that an offscreen run touches no real desktop.
std::unique_ptr<WindowSystem> openWindowSystem(bool useX11, const std::string& displayName = {});

} // namespace platform
