#include "TimelineView.h"

#include "TimelineScale.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace archive {

namespace {

constexpr int kMargin = 32;      // pixels left and right of the axis: room for a label
constexpr int kLaneHeight = 28;  // each lane
constexpr int kLabelHeight = 16; // the time labels under the lanes
constexpr int kClipMarkWidth = 5;
const QColor kPositionColour{40, 110, 200};
const QColor kClipColour{210, 120, 20};
const QColor kSelectedColour{220, 20, 60};

} // namespace

TimelineView::TimelineView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

void TimelineView::setItems(std::vector<int> positions, std::vector<int> clips)
{
    m_positions = std::move(positions);
    m_clips = std::move(clips);
    m_selection = {};
    update();
}

void TimelineView::setSelection(Selection selection)
{
    m_selection = selection;
    update();
}

QSize TimelineView::sizeHint() const
{
    return {640, 2 * kLaneHeight + kLabelHeight + 4};
}

QSize TimelineView::minimumSizeHint() const
{
    return {160, 2 * kLaneHeight + kLabelHeight + 4};
}

TimelineScale TimelineView::scale() const
{
    int first = TimelineScale::kSecondsPerDay, last = 0;
    for (const auto* items : {&m_positions, &m_clips}) {
        if (!items->empty()) {
            first = std::min(first, items->front());
            last = std::max(last, items->back());
        }
    }
    if (first > last)
        first = last = 12 * 3600; // nothing to show: around noon
    return TimelineScale(first, last, width(), kMargin);
}

QRect TimelineView::laneRect(Lane lane) const
{
    const int top = lane == Lane::Positions ? 0 : kLaneHeight;
    return {0, top, width(), kLaneHeight};
}

QPoint TimelineView::pointOf(Lane lane, int secondOfDay) const
{
    return {static_cast<int>(scale().x(secondOfDay)), laneRect(lane).center().y()};
}

void TimelineView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const TimelineScale axis = scale();

    painter.setPen(palette().mid().color());
    for (int mark : axis.marks()) {
        const int x = static_cast<int>(axis.x(mark));
        painter.drawLine(x, 0, x, 2 * kLaneHeight);
        QString label = QStringLiteral("%1:%2")
                            .arg(mark / 3600 % 24, 2, 10, QLatin1Char('0'))
                            .arg(mark / 60 % 60, 2, 10, QLatin1Char('0'));
        if (axis.markStep() < 60)
            label += QStringLiteral(":%1").arg(mark % 60, 2, 10, QLatin1Char('0'));
        painter.setPen(palette().text().color());
        painter.drawText(QRect(x - 30, 2 * kLaneHeight, 60, kLabelHeight), Qt::AlignCenter, label);
        painter.setPen(palette().mid().color());
    }
    painter.drawLine(0, kLaneHeight, width(), kLaneHeight);

    const QRect positions = laneRect(Lane::Positions).adjusted(0, 6, 0, -6);
    painter.setPen(kPositionColour);
    for (int second : m_positions) {
        const int x = static_cast<int>(axis.x(second));
        painter.drawLine(x, positions.top(), x, positions.bottom());
    }
    const QRect clips = laneRect(Lane::Clips).adjusted(0, 6, 0, -6);
    for (int second : m_clips) {
        const int x = static_cast<int>(axis.x(second));
        painter.fillRect(x - kClipMarkWidth / 2, clips.top(), kClipMarkWidth, clips.height(),
                         kClipColour);
    }

    if (!m_selection.empty()) {
        const std::vector<int>& items = m_selection.lane == Lane::Positions ? m_positions : m_clips;
        if (m_selection.index < static_cast<int>(items.size())) {
            const int x =
                static_cast<int>(axis.x(items[static_cast<std::size_t>(m_selection.index)]));
            const QRect lane = laneRect(m_selection.lane).adjusted(0, 2, 0, -2);
            painter.fillRect(x - kClipMarkWidth / 2 - 1, lane.top(), kClipMarkWidth + 2,
                             lane.height(), kSelectedColour);
        }
    }
}

void TimelineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QPointF at = event->position();
    const Lane lane = at.y() < kLaneHeight ? Lane::Positions : Lane::Clips;
    emit picked(lane, scale().secondAt(at.x()));
}

} // namespace archive
