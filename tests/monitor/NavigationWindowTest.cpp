// The navigation program's window on a real X server, with a window manager
// and without one: found by a title fragment while our own windows are passed
// over, retitled with the selected recorder's key, brought to the front on a
// new sentence, our main window kept above it, and forgotten when it goes.

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's headers.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include "GpsForwarderRig.h"
#include "PtyPair.h"
#include "XvfbSession.h"

#include <unistd.h>

using testsupport::PtyPair;
using testsupport::XvfbSession;

namespace {

struct DesktopCase
{
    const char* legend;
    bool withWindowManager;
};

const DesktopCase kDesktops[] = {
    {"openbox manages the windows", true},
    {"no window manager", false},
};

struct WindowTraits
{
    std::string title; // UTF-8
    std::string className;
    bool ownProcess = false; // _NET_WM_PID is ours
};

class Desktop
{
public:
    explicit Desktop(bool withWindowManager) : m_x(withWindowManager) {}

    XvfbSession& x() { return m_x; }

    Window create(const WindowTraits& traits)
    {
        Display* d = m_x.display();
        const Window w = XCreateSimpleWindow(d, m_x.root(), 10, 10, 300, 200, 0, 0, 0);
        XSelectInput(d, w, PropertyChangeMask);
        const auto* title = reinterpret_cast<const unsigned char*>(traits.title.data());
        const int length = static_cast<int>(traits.title.size());
        XChangeProperty(d, w, m_x.atom("_NET_WM_NAME"), m_x.atom("UTF8_STRING"), 8, PropModeReplace,
                        title, length);
        XChangeProperty(d, w, XA_WM_NAME, m_x.atom("UTF8_STRING"), 8, PropModeReplace, title,
                        length);
        if (!traits.className.empty()) {
            std::string name = traits.className;
            XClassHint hint{name.data(), name.data()};
            XSetClassHint(d, w, &hint);
        }
        if (traits.ownProcess) {
            const long pid = ::getpid();
            XChangeProperty(d, w, m_x.atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
        }
        XMapWindow(d, w);
        XSync(d, False);
        if (m_x.managerRuns()) {
            EXPECT_TRUE(m_x.waitUntil([&] { return m_x.inClientList(w); })) << traits.title;
        }
        return w;
    }

    std::string title(Window w) { return m_x.text(w, m_x.atom("_NET_WM_NAME")); }
    std::string legacyTitle(Window w) { return m_x.text(w, XA_WM_NAME); }

    bool above(Window w)
    {
        const auto state = m_x.longs(w, "_NET_WM_STATE", XA_ATOM);
        return std::find(state.begin(), state.end(), m_x.atom("_NET_WM_STATE_ABOVE")) !=
               state.end();
    }

    bool topOfStack(Window w)
    {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(m_x.display(), m_x.root(), &root, &parent, &children, &count);
        const bool top = count > 0 && children[count - 1] == w;
        XFree(children);
        return top;
    }

    Window foreground()
    {
        if (m_x.managerRuns()) {
            const auto active = m_x.longs(m_x.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
            return active.empty() ? 0 : active.front();
        }
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_x.display(), &focus, &revert);
        return focus;
    }

    // Where a manager runs our main window is in its topmost band; without
    // one it was raised above the others.
    bool ourWindowTopmost(Window w) { return m_x.managerRuns() ? above(w) : topOfStack(w); }

private:
    XvfbSession m_x;
};

} // namespace

TEST(NavigationWindow, FoundRetitledRaisedAndForgotten)
{
    const std::string sentence =
        "$GPRMC,143308.00,A,5546.81975,N,02334.70604,E,32.000,221.54,091209,,,A*52";
    for (const auto& c : kDesktops) {
        SCOPED_TRACE(c.legend);
        Desktop desktop(c.withWindowManager);
        auto& x = desktop.x();
        // Each new window goes on top, and the search runs from the front: it
        // meets ours first, then the others in the reverse order of making.
        desktop.create({"Alturion GPS (further back)", "Alturion"});
        const Window alturion = desktop.create({"Alturion GPS", "Alturion"});
        const Window magic = desktop.create({"(K1)@ Magic e-Map Pro", "MagicEMap"});
        desktop.create({"Magic e-Map without a class", ""});
        desktop.create({"Terminal", "XTerm"});
        desktop.create({"Alturion GPS (our other window)", "Tessaro", true});
        const Window ourMain = desktop.create({"Magic e-Map (our main window)", "Tessaro"});

        PtyPair pty;
        auto windows = platform::openWindowSystem(true, x.displayName());
        GpsForwarderRig rig(pty.devicePath(), monitor::GpsForwarder::kPortWait, windows.get());
        auto& forwarder = rig.forwarder;
        forwarder.SetMainWindow(ourMain);
        forwarder.OpenPort();

        // Found once a second, titled with the selected key once, ours above it.
        forwarder.RefreshNavigationWindow("K2");
        EXPECT_EQ(forwarder.NavigationWindow(), magic);
        EXPECT_EQ(forwarder.NavigationTitle(), "magic e-map pro");
        EXPECT_TRUE(forwarder.NavigationWindowTitled());
        EXPECT_EQ(desktop.title(magic), "(K2)@ magic e-map pro");
        EXPECT_EQ(desktop.legacyTitle(magic), "(K2)@ magic e-map pro");
        EXPECT_TRUE(x.waitUntil([&] { return desktop.ourWindowTopmost(ourMain); }));

        // A new sentence of the selected recorder: on the port, and the
        // navigation window in front.
        forwarder.ForwardSelectedSentence(sentence, false);
        EXPECT_EQ(pty.read(sentence.size() + 2), sentence + "\r\n");
        EXPECT_TRUE(x.waitUntil([&] { return desktop.foreground() == magic; }));

        // Another selection: the new key, the title otherwise kept, in Windows-1252.
        forwarder.RetitleNavigationWindow("K\xE9");
        EXPECT_EQ(desktop.title(magic), "(K\u00E9)@ magic e-map pro");

        // The window goes; while the user is busy with ours nothing changes,
        // then the next sentence forgets it and ours leaves the topmost band.
        XDestroyWindow(x.display(), magic);
        XSync(x.display(), False);
        if (c.withWindowManager) {
            EXPECT_TRUE(x.waitUntil([&] { return !x.inClientList(magic); }));
        }
        forwarder.ForwardSelectedSentence(sentence, true);
        EXPECT_EQ(forwarder.NavigationWindow(), magic);
        forwarder.ForwardSelectedSentence(sentence, false);
        EXPECT_EQ(forwarder.NavigationWindow(), platform::kNoWindow);
        EXPECT_FALSE(forwarder.NavigationWindowTitled());
        if (c.withWindowManager) {
            EXPECT_TRUE(x.waitUntil([&] { return !desktop.above(ourMain); }));
        }

        // The search starts again and finds the other program's front window.
        forwarder.RefreshNavigationWindow("K2");
        EXPECT_EQ(forwarder.NavigationWindow(), alturion);
        EXPECT_EQ(forwarder.NavigationTitle(), "alturion gps");
        EXPECT_EQ(desktop.title(alturion), "(K2)@ alturion gps");
    }
}

// Without a display nothing is found, and every sentence takes the "lost
// window" path: our window leaves the topmost band, nothing is titled.
TEST(NavigationWindow, WithoutADisplayNothingIsFound)
{
    PtyPair pty;
    auto windows = platform::openWindowSystem(false);
    GpsForwarderRig rig(pty.devicePath(), monitor::GpsForwarder::kPortWait, windows.get());
    rig.forwarder.OpenPort();
    rig.forwarder.RefreshNavigationWindow("K1");
    rig.forwarder.ForwardSelectedSentence("$GPRMC,1*56", false);
    EXPECT_EQ(rig.forwarder.NavigationWindow(), platform::kNoWindow);
    EXPECT_FALSE(rig.forwarder.NavigationWindowTitled());
    EXPECT_EQ(rig.forwarder.SelectedDeviceSentence(), "$GPRMC,1*56\r\n");
    EXPECT_EQ(pty.read(13), "$GPRMC,1*56\r\n");
}
