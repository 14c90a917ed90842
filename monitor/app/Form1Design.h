// The main window's colours as designed, shared by its controls and by what it
// shows of the station.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace monitor {

inline const QColor kMaroon(128, 0, 0);
inline const QColor kCream(255, 251, 240);
inline const QColor kAlarmRed(Qt::red);
inline const QColor kClearBlue(Qt::blue);

inline void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}

} // namespace monitor
