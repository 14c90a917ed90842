#include "RouteProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace archive {

RouteProjection::RouteProjection(const std::vector<Place>& places, const QRectF& area)
    : m_centre(area.center())
{
    if (places.empty())
        return;
    double south = places.front().latitude, north = south;
    double west = places.front().longitude, east = west;
    for (const Place& p : places) {
        south = std::min(south, p.latitude);
        north = std::max(north, p.latitude);
        west = std::min(west, p.longitude);
        east = std::max(east, p.longitude);
    }
    m_midLat = (south + north) / 2;
    m_midLon = (west + east) / 2;
    m_cosLat = std::max(0.01, std::cos(m_midLat * std::numbers::pi / 180));
    const double width = (east - west) * m_cosLat;
    const double height = north - south;
    if (width <= 0 && height <= 0)
        return;
    const double byWidth = width > 0 ? area.width() / width : HUGE_VAL;
    const double byHeight = height > 0 ? area.height() / height : HUGE_VAL;
    m_scale = std::min(byWidth, byHeight);
}

QPointF RouteProjection::point(const Place& place) const
{
    return {m_centre.x() + (place.longitude - m_midLon) * m_cosLat * m_scale,
            m_centre.y() - (place.latitude - m_midLat) * m_scale};
}

} // namespace archive
