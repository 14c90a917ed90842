#include "TimelineScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace archive {

namespace {

// Steps between marks, smallest first: ten seconds up to three hours.
constexpr std::array kMarkSteps = {10,      30,      60,   5 * 60,   10 * 60,
                                   15 * 60, 30 * 60, 3600, 2 * 3600, 3 * 3600};
// At most this many marks along the axis.
constexpr int kMostMarks = 12;

} // namespace

TimelineScale::TimelineScale(int firstSecond, int lastSecond, int width, int margin)
{
    int first = std::clamp(std::min(firstSecond, lastSecond), 0, kSecondsPerDay);
    int last = std::clamp(std::max(firstSecond, lastSecond), 0, kSecondsPerDay);
    if (last - first < kMinimumSpan) {
        const int grow = kMinimumSpan - (last - first);
        first = std::max(0, first - grow / 2);
        last = std::min(kSecondsPerDay, first + kMinimumSpan);
        first = std::max(0, last - kMinimumSpan);
    }
    m_step = kMarkSteps.back();
    for (int step : kMarkSteps) {
        if ((last - first) / step <= kMostMarks) {
            m_step = step;
            break;
        }
    }
    m_first = first / m_step * m_step;
    m_last = std::min(kSecondsPerDay, (last + m_step - 1) / m_step * m_step);
    if (m_last <= m_first)
        m_last = m_first + m_step;
    m_left = margin;
    m_right = std::max(m_left + 1, static_cast<double>(width - margin));
}

double TimelineScale::x(int secondOfDay) const
{
    return m_left + (m_right - m_left) * (secondOfDay - m_first) / (m_last - m_first);
}

int TimelineScale::secondAt(double x) const
{
    const double second = m_first + (x - m_left) * (m_last - m_first) / (m_right - m_left);
    return std::clamp(static_cast<int>(std::lround(second)), m_first, m_last);
}

std::vector<int> TimelineScale::marks() const
{
    std::vector<int> marks;
    for (int s = m_first; s <= m_last; s += m_step)
        marks.push_back(s);
    return marks;
}

} // namespace archive
