// FrameWatcher: tells the window when the frame the window manager draws
// around it has another size than the layout counted with, so that the window
// lays itself out again and its outer size stays exact. The manager tells the
// frame's size some time after it maps the window, with no event of its own:
// after each show or activation the frame is looked at again for a while, and
// at every move.
//
// Threading: the user-interface thread only. It filters the window's events
// and lets every one through.
#pragma once

#include <QBasicTimer>
#include <QMargins>
#include <QObject>
#include <chrono>
#include <functional>

class QWidget;

namespace monitor {

class FrameWatcher final : public QObject
{
public:
    // How often, and how many times after the window shows, the frame is looked at.
    static constexpr std::chrono::milliseconds kCheckInterval{100};
    static constexpr int kChecks = 20;

    FrameWatcher(QWidget& window, std::function<void()> frameChanged);

    // The frame's margins now, which the layout counts with from here on (none
    // before the native window exists).
    QMargins counted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void check();

    QWidget& m_window;
    const std::function<void()> m_frameChanged;
    QMargins m_counted;
    QBasicTimer m_watch;
    int m_checksLeft = 0;
};

} // namespace monitor
