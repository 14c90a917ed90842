// The timeline's time axis: the seconds of a day that hold a recorder's
// positions and clips, spread over a width in pixels, and the hour or minute
// marks that label it. Plain arithmetic, apart from any widget.
#pragma once

#include <vector>

namespace archive {

class TimelineScale
{
public:
    static constexpr int kSecondsPerDay = 24 * 60 * 60;
    // The shortest stretch of time shown, so that a few seconds of data do not
    // fill the whole width.
    static constexpr int kMinimumSpan = 60;

    // Shows firstSecond..lastSecond (seconds of the day) over x = margin to
    // width - margin, widened to kMinimumSpan and to whole marks.
    TimelineScale(int firstSecond, int lastSecond, int width, int margin);

    int firstSecond() const { return m_first; }
    int lastSecond() const { return m_last; }
    double x(int secondOfDay) const;
    // The second of the day at x, within the range shown.
    int secondAt(double x) const;
    // The seconds of the day where a mark goes, every markStep() seconds.
    std::vector<int> marks() const;
    int markStep() const { return m_step; }

private:
    int m_first;
    int m_last;
    int m_step;
    double m_left;
    double m_right;
};

} // namespace archive
