// The timeline of one recorder's day: its positions as ticks in the upper
// lane, its clips as marks in the lower one, by the time in their file names;
// the selected item stands out. A click reports the lane and the second of the
// day under the pointer; the model decides what that selects.
//
// Threading: user-interface thread only.
#pragma once

#include "BrowserTypes.h"

#include <QWidget>
#include <vector>

namespace archive {

class TimelineScale;

class TimelineView : public QWidget
{
    Q_OBJECT

public:
    explicit TimelineView(QWidget* parent = nullptr);

    // Seconds of the day, each list in time order.
    void setItems(std::vector<int> positions, std::vector<int> clips);
    void setSelection(Selection selection);

    // Where an item of that lane at that second of the day is drawn.
    QPoint pointOf(Lane lane, int secondOfDay) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void picked(archive::Lane lane, int secondOfDay);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TimelineScale scale() const;
    QRect laneRect(Lane lane) const;

    std::vector<int> m_positions;
    std::vector<int> m_clips;
    Selection m_selection;
};

} // namespace archive
