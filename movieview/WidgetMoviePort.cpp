#include "WidgetMoviePort.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

namespace movieview {

void WidgetMoviePort::drawFrame(const MovieFrame& frame, const MovieBox& box)
{
    // Painting a widget is only possible while it handles its paint event.
    if (!frame.valid() || !m_widget.testAttribute(Qt::WA_WState_InPaintEvent))
        return;
    const QImage image(frame.pixels.data(), frame.width, frame.height, frame.stride,
                       QImage::Format_RGB32);
    QPainter painter(&m_widget);
    painter.drawImage(QRect(box.left, box.top, box.width(), box.height()), image);
}

void WidgetMoviePort::invalidate(const MovieBox& box)
{
    m_widget.update(QRect(box.left, box.top, box.width(), box.height()));
}

} // namespace movieview
