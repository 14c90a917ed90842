// A drawing of one recorder's route on a day, without map tiles: the places
// of its valid positions joined in time order, scaled to fit the widget, north
// up; its clips marked where the recorder was when each was made, and the
// selected position ringed.
//
// Threading: user-interface thread only.
#pragma once

#include "RouteProjection.h"

#include <QColor>
#include <QWidget>
#include <vector>

namespace archive {

class RouteView : public QWidget
{
    Q_OBJECT

public:
    static inline const QColor kRouteColour{30, 90, 200};
    static inline const QColor kClipColour{230, 130, 0};
    static inline const QColor kSelectedColour{220, 20, 60};

    explicit RouteView(QWidget* parent = nullptr);

    // places in time order; clipPoints index into them.
    void setRoute(std::vector<Place> places, std::vector<int> clipPoints);
    // An index into the places, or -1.
    void setSelectedPoint(int point);

    // Where the route is drawn, inside the widget's margins.
    QRectF drawingArea() const;
    QSize sizeHint() const override { return {360, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Place> m_places;
    std::vector<int> m_clipPoints;
    int m_selected = -1;
};

} // namespace archive
