// A private X server for a test: Xvfb on a display number it picks itself,
// optionally with the openbox window manager, both stopped when the session
// ends. The session keeps a connection of its own, through which the test
// creates windows and reads back what the code under test did to them.
#pragma once

#include "ChildProcess.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class XvfbSession
{
public:
    static constexpr std::chrono::seconds kStartTimeout{20};

    explicit XvfbSession(bool withWindowManager)
        : m_server({findTool("Xvfb", "xvfb"), "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                    "1024x768x24"},
                   ChildProcess::Output::Capture)
    {
        const auto number = m_server.readLine(kStartTimeout);
        if (!number || number->empty())
            throw std::runtime_error("Xvfb did not report its display");
        m_displayName = ":" + *number;
        m_display.reset(XOpenDisplay(m_displayName.c_str()));
        if (!m_display)
            throw std::runtime_error("cannot connect to Xvfb on " + m_displayName);
        XSelectInput(display(), root(), PropertyChangeMask | SubstructureNotifyMask);
        if (withWindowManager) {
            m_manager = std::make_unique<ChildProcess>(
                std::vector<std::string>{findTool("openbox", "openbox"), "--sm-disable"},
                ChildProcess::Output::Inherit,
                std::vector<std::string>{"DISPLAY=" + m_displayName});
            if (!waitUntil([this] { return managerRuns(); }, kStartTimeout) || !probeManager())
                throw std::runtime_error("openbox did not take over the display");
        }
    }

    ~XvfbSession()
    {
        m_manager.reset();
        m_display.reset();
    }

    const std::string& displayName() const { return m_displayName; }
    Display* display() const { return m_display.get(); }
    Window root() const { return DefaultRootWindow(m_display.get()); }
    Atom atom(const char* name) const { return XInternAtom(display(), name, False); }

    // Calls the condition again after each event the session's connection gets
    // (properties of the root and of the windows it watches) and at least every
    // kSlice; true once it holds, false when the time is up.
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        constexpr std::chrono::milliseconds kSlice{50};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (XPending(display()) > 0) {
                XEvent event;
                XNextEvent(display(), &event);
            }
            if (condition())
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{ConnectionNumber(display()), POLLIN, 0};
            ::poll(&pfd, 1, static_cast<int>(std::min(left, kSlice).count()));
        }
    }

    // The 32-bit items of a property (windows, atoms, cardinals).
    std::vector<unsigned long> longs(Window window, const char* property, Atom type) const
    {
        Atom actualType = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> out;
        if (XGetWindowProperty(display(), window, atom(property), 0, 1024, False, type, &actualType,
                               &format, &items, &after, &data) == Success &&
            data && format == 32) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            out.assign(values, values + items);
        }
        if (data)
            XFree(data);
        return out;
    }

    // A property's bytes as stored, whatever its type.
    std::string text(Window window, Atom property) const
    {
        Atom actualType = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::string out;
        if (XGetWindowProperty(display(), window, property, 0, 1024, False, AnyPropertyType,
                               &actualType, &format, &items, &after, &data) == Success &&
            data && format == 8)
            out.assign(reinterpret_cast<const char*>(data), items);
        if (data)
            XFree(data);
        return out;
    }

    bool hasProperty(Window window, const char* property) const
    {
        int count = 0;
        Atom* atoms = XListProperties(display(), window, &count);
        const Atom wanted = atom(property);
        const bool found = atoms && std::find(atoms, atoms + count, wanted) != atoms + count;
        if (atoms)
            XFree(atoms);
        return found;
    }

    // openbox announces itself early in its start; its client list comes
    // when it is ready to manage windows.
    bool managerRuns() const
    {
        return !longs(root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty() &&
               hasProperty(root(), "_NET_CLIENT_LIST");
    }

    bool inClientList(Window window) const
    {
        const auto list = longs(root(), "_NET_CLIENT_LIST", XA_WINDOW);
        return std::find(list.begin(), list.end(), window) != list.end();
    }

private:
    // A window mapped while openbox is still starting can stay unmanaged: the
    // manager is ready once it manages a probe window, mapped again now and
    // then until it does.
    bool probeManager()
    {
        constexpr std::chrono::milliseconds kRemapAfter{1000};
        Display* d = display();
        const Window probe = XCreateSimpleWindow(d, root(), 0, 0, 10, 10, 0, 0, 0);
        bool managed = false;
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (!managed && std::chrono::steady_clock::now() < deadline) {
            XUnmapWindow(d, probe);
            XMapWindow(d, probe);
            XSync(d, False);
            managed = waitUntil([&] { return inClientList(probe); }, kRemapAfter);
        }
        XDestroyWindow(d, probe);
        XSync(d, False);
        return managed && waitUntil([&] { return !inClientList(probe); });
    }

    struct DisplayCloser
    {
        void operator()(Display* d) const { XCloseDisplay(d); }
    };

    ChildProcess m_server;
    std::string m_displayName;
    std::unique_ptr<Display, DisplayCloser> m_display;
    std::unique_ptr<ChildProcess> m_manager;
};

} // namespace testsupport
