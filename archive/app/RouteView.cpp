#include "RouteView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace archive {

namespace {

constexpr int kMargin = 14; // pixels around the route: room for the marks
constexpr double kRouteWidth = 2;
constexpr double kClipMarkSize = 9;
constexpr double kSelectedRadius = 7;

} // namespace

RouteView::RouteView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(160, 120);
}

void RouteView::setRoute(std::vector<Place> places, std::vector<int> clipPoints)
{
    m_places = std::move(places);
    m_clipPoints = std::move(clipPoints);
    m_selected = -1;
    update();
}

void RouteView::setSelectedPoint(int point)
{
    m_selected = point;
    update();
}

QRectF RouteView::drawingArea() const
{
    return QRectF(rect()).adjusted(kMargin, kMargin, -kMargin, -kMargin);
}

void RouteView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (m_places.empty()) {
        painter.setPen(palette().text().color());
        painter.drawText(rect(), Qt::AlignCenter, tr("No positions"));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const RouteProjection projection(m_places, drawingArea());
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(m_places.size()));
    for (const Place& place : m_places)
        line << projection.point(place);
    painter.setPen(QPen(kRouteColour, kRouteWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
    // The start as a hollow ring, so that the direction can be read.
    painter.drawEllipse(line.front(), kSelectedRadius - 2, kSelectedRadius - 2);

    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(kClipColour);
    for (int point : m_clipPoints) {
        if (point < 0 || point >= line.size())
            continue;
        const QPointF at = line[point];
        painter.drawRect(QRectF(at.x() - kClipMarkSize / 2, at.y() - kClipMarkSize / 2,
                                kClipMarkSize, kClipMarkSize));
    }
    if (m_selected >= 0 && m_selected < line.size()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kSelectedColour, 3));
        painter.drawEllipse(line[m_selected], kSelectedRadius, kSelectedRadius);
    }
}

} // namespace archive
