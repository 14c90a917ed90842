// The window system over Xlib. Where a window manager runs, its conventions
// (EWMH) decide: its client list, its active window, its _NET_WM_STATE band.
// Where none runs, plain X11 does: the root's children, the input focus,
// raising. The manager is looked for on every call, since it may start or stop
// while the station runs.
//
// The layer keeps its own connection to the display, apart from the toolkit's,
// and is used on the user-interface thread only. Every request that names
// another program's window runs inside an ErrorTrap, since that window may be
// destroyed at any moment.
#include "TextCodec.h"
#include "WindowSystem.h"
#include "X11ErrorTrap.h"
#include "X11Properties.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <optional>
#include <unistd.h>

namespace platform {

namespace {

using x11::ErrorTrap;

// Titles and class names are cut to this many bytes, as the station reads them.
constexpr std::size_t kMaxTextLength = 255;
// _NET_ACTIVE_WINDOW source indication: a pager, which managers obey at once
// instead of applying focus-stealing prevention.
constexpr long kSourcePager = 2;
// _NET_WM_STATE source indication: a normal application.
constexpr long kSourceApplication = 1;
constexpr long kStateRemove = 0;
constexpr long kStateAdd = 1;

struct DisplayCloser
{
    void operator()(Display* display) const { XCloseDisplay(display); }
};

std::string latin1ToUtf8(std::string_view latin1)
{
    std::string out;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// Windows-1252 and Latin-1 agree everywhere but in 0x80 to 0x9F.
bool isLatin1Too(std::string_view windows1252)
{
    return std::none_of(windows1252.begin(), windows1252.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x80 && b < 0xA0;
    });
}

class X11WindowSystem final : public WindowSystem
{
public:
    explicit X11WindowSystem(Display* display)
        : m_display(display), m_root(DefaultRootWindow(display)),
          m_clientList(atom("_NET_CLIENT_LIST")),
          m_clientListStacking(atom("_NET_CLIENT_LIST_STACKING")),
          m_activeWindow(atom("_NET_ACTIVE_WINDOW")), m_wmName(atom("_NET_WM_NAME")),
          m_utf8String(atom("UTF8_STRING")), m_wmState(atom("_NET_WM_STATE")),
          m_wmStateAbove(atom("_NET_WM_STATE_ABOVE")),
          m_supportingWmCheck(atom("_NET_SUPPORTING_WM_CHECK")),
          m_supported(atom("_NET_SUPPORTED")), m_wmPid(atom("_NET_WM_PID")),
          m_compoundText(atom("COMPOUND_TEXT"))
    {
    }

    std::vector<NativeWindow> topLevelWindows() override
    {
        Display* d = m_display.get();
        ErrorTrap trap(d);
        std::vector<unsigned long> windows;
        // The stacking list and the tree run from the bottom of the stack to
        // its top; the plain client list, used only without the stacking one,
        // in the order windows were first mapped, so the newest comes first.
        if (managed()) {
            auto listed = x11::readLongs(d, m_root, m_clientListStacking, XA_WINDOW);
            if (!listed)
                listed = x11::readLongs(d, m_root, m_clientList, XA_WINDOW);
            windows = listed.value_or(windows);
        } else {
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, m_root, &root, &parent, &children, &count) != 0 && children) {
                windows.assign(children, children + count);
                XFree(children);
            }
        }
        std::reverse(windows.begin(), windows.end()); // front to back
        const auto ownPid = static_cast<unsigned long>(::getpid());
        std::vector<NativeWindow> out;
        for (unsigned long w : windows) {
            const auto pid = x11::readLongs(d, w, m_wmPid, XA_CARDINAL);
            if (pid && !pid->empty() && pid->front() == ownPid)
                continue;
            out.push_back(w);
        }
        return out;
    }

    std::string className(NativeWindow window) override
    {
        if (window == kNoWindow)
            return {};
        ErrorTrap trap(m_display.get());
        XClassHint hint{};
        if (XGetClassHint(m_display.get(), window, &hint) == 0)
            return {};
        std::string name = hint.res_class && *hint.res_class ? hint.res_class
                           : hint.res_name                   ? hint.res_name
                                                             : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
        return utf8ToWindows1252(name).substr(0, kMaxTextLength);
    }

    std::string title(NativeWindow window) override
    {
        if (window == kNoWindow)
            return {};
        ErrorTrap trap(m_display.get());
        std::string utf8 =
            x11::readBytes(m_display.get(), window, m_wmName, m_utf8String).value_or(std::string());
        if (utf8.empty())
            utf8 = legacyTitle(window);
        if (trap.failed())
            return {};
        return utf8ToWindows1252(utf8).substr(0, kMaxTextLength);
    }

    bool setTitle(NativeWindow window, std::string_view windows1252) override
    {
        if (window == kNoWindow)
            return false;
        Display* d = m_display.get();
        ErrorTrap trap(d);
        const std::string utf8 = windows1252ToUtf8(windows1252);
        changeText(window, m_wmName, m_utf8String, utf8);
        // WM_NAME in the ICCCM's STRING (Latin-1) where the title fits it.
        if (isLatin1Too(windows1252))
            changeText(window, XA_WM_NAME, XA_STRING, windows1252);
        else
            changeText(window, XA_WM_NAME, m_utf8String, utf8);
        return !trap.failed();
    }

    NativeWindow foregroundWindow() override
    {
        Display* d = m_display.get();
        ErrorTrap trap(d);
        if (managed()) {
            // The manager may not yet have noticed that its active window is gone.
            const auto active = x11::readLongs(d, m_root, m_activeWindow, XA_WINDOW);
            if (!active || active->empty() || !attributesOf(active->front(), trap))
                return kNoWindow;
            return active->front();
        }
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        if (focus == None || focus == PointerRoot)
            return kNoWindow;
        const Window top = topLevelAncestor(focus);
        return trap.failed() ? kNoWindow : top;
    }

    bool bringToForeground(NativeWindow window) override
    {
        Display* d = m_display.get();
        ErrorTrap trap(d);
        const auto attributes = attributesOf(window, trap);
        if (!attributes)
            return false;
        if (managed() && supports(m_activeWindow)) {
            sendToRoot(window, m_activeWindow, {kSourcePager, CurrentTime, 0, 0});
        } else {
            if (attributes->map_state != IsViewable)
                return false;
            XRaiseWindow(d, window);
            XSetInputFocus(d, window, RevertToParent, CurrentTime);
        }
        return !trap.failed();
    }

    bool setTopmost(NativeWindow ownWindow, bool topmost) override
    {
        Display* d = m_display.get();
        ErrorTrap trap(d);
        if (!attributesOf(ownWindow, trap))
            return false;
        if (managed() && supports(m_wmStateAbove)) {
            sendToRoot(ownWindow, m_wmState,
                       {topmost ? kStateAdd : kStateRemove, static_cast<long>(m_wmStateAbove), 0,
                        kSourceApplication});
        } else if (topmost) {
            // Without a manager there is no band: raising is the nearest thing.
            XRaiseWindow(d, ownWindow);
        }
        return !trap.failed();
    }

private:
    Atom atom(const char* name) { return XInternAtom(m_display.get(), name, False); }

    // The window's attributes while it exists.
    std::optional<XWindowAttributes> attributesOf(Window window, ErrorTrap& trap)
    {
        XWindowAttributes attributes{};
        if (window == None || XGetWindowAttributes(m_display.get(), window, &attributes) == 0 ||
            trap.failed())
            return std::nullopt;
        return attributes;
    }

    // A window manager runs when _NET_SUPPORTING_WM_CHECK on the root names a
    // window that names itself the same way; a stale one left behind by a
    // manager that has gone does not count.
    bool managed()
    {
        Display* d = m_display.get();
        const auto check = x11::readLongs(d, m_root, m_supportingWmCheck, XA_WINDOW);
        if (!check || check->empty())
            return false;
        const auto self = x11::readLongs(d, check->front(), m_supportingWmCheck, XA_WINDOW);
        return self && !self->empty() && self->front() == check->front();
    }

    bool supports(Atom feature)
    {
        const auto list = x11::readLongs(m_display.get(), m_root, m_supported, XA_ATOM);
        return list && std::find(list->begin(), list->end(), feature) != list->end();
    }

    // WM_NAME as UTF-8, in whichever of its encodings the window stored it.
    std::string legacyTitle(Window window)
    {
        Display* d = m_display.get();
        auto text = x11::readText(d, window, XA_WM_NAME);
        if (!text)
            return {};
        auto& [type, bytes] = *text;
        if (type == m_utf8String)
            return bytes;
        if (type == XA_STRING)
            return latin1ToUtf8(bytes);
        if (type != m_compoundText)
            return {};
        XTextProperty property{reinterpret_cast<unsigned char*>(bytes.data()), type, 8,
                               bytes.size()};
        char** list = nullptr;
        int count = 0;
        std::string out;
        if (Xutf8TextPropertyToTextList(d, &property, &list, &count) == Success && list) {
            for (int i = 0; i < count; ++i)
                out += list[i];
            XFreeStringList(list);
        }
        return out;
    }

    void changeText(Window window, Atom property, Atom type, std::string_view bytes)
    {
        XChangeProperty(m_display.get(), window, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
    }

    Window topLevelAncestor(Window window)
    {
        Display* d = m_display.get();
        for (;;) {
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, window, &root, &parent, &children, &count) == 0)
                return kNoWindow;
            if (children)
                XFree(children);
            if (parent == root || parent == None)
                return window;
            window = parent;
        }
    }

    void sendToRoot(Window window, Atom type, std::initializer_list<long> data)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = type;
        event.xclient.format = 32;
        std::copy(data.begin(), data.end(), event.xclient.data.l);
        XSendEvent(m_display.get(), m_root, False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(m_display.get());
    }

    std::unique_ptr<Display, DisplayCloser> m_display;
    Window m_root;
    Atom m_clientList;
    Atom m_clientListStacking;
    Atom m_activeWindow;
    Atom m_wmName;
    Atom m_utf8String;
    Atom m_wmState;
    Atom m_wmStateAbove;
    Atom m_supportingWmCheck;
    Atom m_supported;
    Atom m_wmPid;
    Atom m_compoundText;
};

} // namespace

std::unique_ptr<WindowSystem> openWindowSystem(bool useX11, const std::string& displayName)
{
    if (useX11) {
        if (Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str()))
            return std::make_unique<X11WindowSystem>(display);
    }
    return makeNullWindowSystem();
}

} // namespace platform
