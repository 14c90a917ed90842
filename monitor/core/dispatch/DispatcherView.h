// What the dispatcher shows in the main window, and the one service it needs
// from the window's event loop. The window implements it; tests record it.
#pragma once

#include <string>

namespace monitor {

class DispatcherView
{
public:
    // Panels of the status bar that the dispatcher writes.
    enum class Panel
    {
        Clock = 0,       // "yyyy.mm.dd, hh:nn:ss"
        Connections = 2, // number of listed recorders
        Activity = 3,    // the word for the event being handled
    };

    virtual ~DispatcherView() = default;
    virtual void setStatusText(Panel panel, const std::string& text) = 0;
    // LblSR, "Receiving......".
    virtual void setReceivingVisible(bool visible) = 0;
    // LblEventTime's caption, Windows-1252; the label takes the caption's width.
    virtual void setEventCaption(const std::string& windows1252) = 0;
    // LblEventTime centred over the movie frame.
    virtual void centreEventCaption() = 0;
    // LblElapse.
    virtual void setElapsed(const std::string& text) = 0;
    // Lets the window handle its pending messages (input, repaints, other
    // timers). The dispatcher's own timer is off meanwhile.
    virtual void processMessages() = 0;
};

} // namespace monitor
