// Drawing of the glyphs and frames with QPainter.
#include "StationArt.h"

#include <QPainter>
#include <QPolygon>

namespace monitor {
namespace {

constexpr int kFrameLineWidth = 4;

void drawArrow(QPainter& p, QPoint from, QPoint to)
{
    p.drawLine(from, to);
    // Head: two short strokes back from the tip, along the axes of the diagonal.
    const int dx = to.x() > from.x() ? -3 : 3;
    const int dy = to.y() > from.y() ? -3 : 3;
    p.drawLine(to, to + QPoint(dx, 0));
    p.drawLine(to, to + QPoint(0, dy));
}

} // namespace

QPixmap sizeGlyph(SizeGlyph glyph)
{
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(Qt::black, 1));
    // The small frame in the lower left corner.
    p.drawRect(1, 8, 6, 6);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    if (glyph == SizeGlyph::Enlarge)
        drawArrow(p, QPoint(7, 8), QPoint(13, 2));
    else
        drawArrow(p, QPoint(13, 2), QPoint(8, 7));
    return pixmap;
}

QPixmap alarmFrame(const QColor& colour, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QPen pen(colour, kFrameLineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    const int inset = kFrameLineWidth / 2;
    p.drawRect(QRect(QPoint(inset, inset), size - QSize(2 * inset, 2 * inset)));
    return pixmap;
}

} // namespace monitor
