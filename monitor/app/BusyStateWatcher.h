// BusyStateWatcher: the guess, from the window's own events, of whether the
// operator is busy with the window's frame (UserBusy), which holds back the
// dispatcher's changes of selection while set.
//
// Where the toolkit reports presses and moves on the frame and caption
// (Windows, macOS), they set and clear the flag directly. Under X11 the frame
// and caption belong to the window manager and the program sees none of their
// mouse events. The closest events it gets: the window moving while the user
// drags it by the caption (a press on the caption); and for the next move over
// the frame, the window resting after the drag with the pointer on its
// caption, or the pointer crossing the frame into or out of the client area.
//
// Threading: the user-interface thread only. It filters the window's events
// and lets every one through.
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QPoint>
#include <chrono>
#include <functional>

class QWidget;

namespace monitor {

class BusyStateWatcher final : public QObject
{
public:
    // A drag by the caption has ended when the window has not moved for this long.
    static constexpr std::chrono::milliseconds kDragSettles{250};

    using SetBusy = std::function<void(bool busy)>;
    BusyStateWatcher(QWidget& window, SetBusy setBusy,
                     std::chrono::milliseconds dragSettles = kDragSettles);

    // Where the layout put the window: a move elsewhere is the user's.
    void placedAt(QPoint position) { m_placedAt = position; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QWidget& m_window;
    const SetBusy m_setBusy;
    const std::chrono::milliseconds m_dragSettles;
    QPoint m_placedAt;
    QBasicTimer m_dragWatch; // runs while the user drags the window
};

} // namespace monitor
