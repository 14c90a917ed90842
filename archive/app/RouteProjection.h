// The route drawing's projection: places in degrees of latitude and longitude
// onto a rectangle of pixels, scaled to fit with its shape kept (a degree of
// longitude shortened by the cosine of the middle latitude, as on a map), north
// up. Plain arithmetic, apart from any widget.
#pragma once

#include <QPointF>
#include <QRectF>
#include <vector>

namespace archive {

struct Place
{
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
};

class RouteProjection
{
public:
    // Fits every place into area; a single place, or places all at one spot,
    // land in its middle.
    RouteProjection(const std::vector<Place>& places, const QRectF& area);

    QPointF point(const Place& place) const;

private:
    double m_scale = 1;  // pixels per projected degree
    double m_cosLat = 1; // shortening of a degree of longitude
    double m_midLat = 0; // degrees at the area's centre
    double m_midLon = 0;
    QPointF m_centre;
};

} // namespace archive
