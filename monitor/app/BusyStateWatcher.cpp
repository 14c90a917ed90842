// The operator's busy state guessed from the window's events.
#include "BusyStateWatcher.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QTimerEvent>
#include <QWidget>

namespace monitor {

BusyStateWatcher::BusyStateWatcher(QWidget& window, SetBusy setBusy,
                                   std::chrono::milliseconds dragSettles)
    : QObject(&window), m_window(window), m_setBusy(std::move(setBusy)), m_dragSettles(dragSettles)
{
    m_window.installEventFilter(this);
}

bool BusyStateWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::NonClientAreaMouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_setBusy(true);
        break;
    case QEvent::NonClientAreaMouseMove:
        m_setBusy(false);
        break;
    case QEvent::Move:
        if (m_window.isVisible() && m_window.pos() != m_placedAt) {
            m_setBusy(true);
            m_dragWatch.start(static_cast<int>(m_dragSettles.count()), this);
        }
        break;
    case QEvent::Enter:
    case QEvent::Leave:
        // An open drop-down list takes the pointer from the window; the
        // operator is still busy choosing.
        if (!QApplication::activePopupWidget())
            m_setBusy(false);
        break;
    default:
        break;
    }
    return false;
}

void BusyStateWatcher::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_dragWatch.timerId())
        return QObject::timerEvent(event);
    m_dragWatch.stop();
    m_setBusy(false);
}

} // namespace monitor
