// The window manager's frame around the window, looked at until it is known.
#include "FrameWatcher.h"

#include <QEvent>
#include <QTimerEvent>
#include <QWidget>
#include <QWindow>

namespace monitor {

FrameWatcher::FrameWatcher(QWidget& window, std::function<void()> frameChanged)
    : QObject(&window), m_window(window), m_frameChanged(std::move(frameChanged))
{
    m_window.installEventFilter(this);
}

QMargins FrameWatcher::counted()
{
    m_counted = m_window.windowHandle() ? m_window.windowHandle()->frameMargins() : QMargins();
    return m_counted;
}

void FrameWatcher::check()
{
    if (m_window.windowHandle() && m_window.windowHandle()->frameMargins() != m_counted)
        m_frameChanged();
}

bool FrameWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::Move:
        check();
        break;
    case QEvent::Show:
    case QEvent::ActivationChange:
        check();
        m_checksLeft = kChecks;
        m_watch.start(static_cast<int>(kCheckInterval.count()), this);
        break;
    default:
        break;
    }
    return false;
}

void FrameWatcher::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_watch.timerId())
        return QObject::timerEvent(event);
    check();
    if (--m_checksLeft <= 0)
        m_watch.stop();
}

} // namespace monitor
