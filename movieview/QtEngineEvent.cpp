#include "QtEngineEvent.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <chrono>

namespace movieview {

namespace {

std::uint32_t nowMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void fillMouse(const QMouseEvent& mouse, EngineEvent& out)
{
    const QPointF global = mouse.globalPosition();
    out.when = static_cast<std::uint32_t>(mouse.timestamp());
    out.whereX = static_cast<std::uint16_t>(static_cast<int>(global.x()));
    out.whereY = static_cast<std::uint16_t>(static_cast<int>(global.y()));
    out.primaryButton = mouse.button() == Qt::LeftButton;
}

} // namespace

EngineEvent toEngineEvent(const QEvent& event)
{
    EngineEvent out;
    out.message = static_cast<std::uint32_t>(event.type());
    out.when = nowMs();
    switch (event.type()) {
    case QEvent::Paint:
        out.what = EngineEventKind::Update;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        out.what = EngineEventKind::MouseDown;
        out.doubleClick = event.type() == QEvent::MouseButtonDblClick;
        fillMouse(static_cast<const QMouseEvent&>(event), out);
        break;
    case QEvent::MouseButtonRelease:
        out.what = EngineEventKind::MouseUp;
        fillMouse(static_cast<const QMouseEvent&>(event), out);
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        out.what =
            event.type() == QEvent::KeyPress ? EngineEventKind::KeyDown : EngineEventKind::KeyUp;
        out.key = static_cast<std::uint32_t>(key.key());
        out.autoRepeat = key.isAutoRepeat();
        out.when = static_cast<std::uint32_t>(key.timestamp());
        break;
    }
    case QEvent::WindowActivate:
        out.what = EngineEventKind::Activate;
        break;
    case QEvent::WindowDeactivate:
        out.what = EngineEventKind::Deactivate;
        break;
    default:
        break;
    }
    return out;
}

} // namespace movieview
