// The window's geometry rules, computed without a window.
#include "MovieLayout.h"

namespace monitor {

MovieLayout layMovie(PanelSize movie, const LayoutMetrics& m, int screenHeight)
{
    MovieLayout out;
    out.window.width = movie.width + 2 * m.sizeButtonWidth + LayoutMetrics::kExtraWidth;
    // The receiving band (Panel4) and the GPS band (Panel5) are not counted; the
    // receiving label is.
    out.window.height = movie.height + m.devicePanelHeight + m.detailsPanelHeight +
                        m.statusBarHeight + m.receivingLabelHeight + LayoutMetrics::kExtraHeight;
    out.window.left = 0;
    out.window.top = screenHeight - out.window.height - LayoutMetrics::kBottomMargin;

    out.panel1 = {out.window.width / 2 - movie.width / 2, m.sizeButtonTop, movie.width,
                  movie.height};
    const int margin = LayoutMetrics::kAlarmFrameMargin;
    out.alarmFrame = {out.panel1.left - margin, out.panel1.top - margin, movie.width + 2 * margin,
                      movie.height + 2 * margin};
    return out;
}

SizeToggle toggleMovieSize(int panelWidth)
{
    if (panelWidth >= kLargeMovieMinWidth)
        return {kSmallMovie, SizeGlyph::Enlarge};
    return {kLargeMovie, SizeGlyph::Reduce};
}

int centredOver(const LayoutRect& panel, int labelWidth)
{
    return panel.left + panel.width / 2 - labelWidth / 2;
}

} // namespace monitor
