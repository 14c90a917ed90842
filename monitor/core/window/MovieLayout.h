// The main window's geometry around its movie: where the movie frame, the
// alarm frame and the window itself go for a movie panel of a given size, and
// the movie-size toggle between the small and the large panel.
//
// Sizes here are the window's outer size, the frame the user sees. The window
// turns them into a client size by taking off the frame that the window
// manager draws (see TForm1::applyMovieLayout).
#pragma once

namespace monitor {

struct LayoutRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const LayoutRect&) const = default;
};

struct PanelSize
{
    int width = 0;
    int height = 0;
    bool operator==(const PanelSize&) const = default;
};

// The movie panel (Panel1) at start, and after the first click on the size button.
inline constexpr PanelSize kSmallMovie{322, 242};
inline constexpr PanelSize kLargeMovie{642, 482};
// A panel at least this wide counts as large.
inline constexpr int kLargeMovieMinWidth = 600;

// Glyphs of the size button: what a click would do.
enum class SizeGlyph
{
    Reduce = 0,
    Enlarge = 1,
};

// The controls whose sizes the layout counts, as designed.
struct LayoutMetrics
{
    int sizeButtonLeft = 6;
    int sizeButtonTop = 40;
    int sizeButtonWidth = 26;
    int devicePanelHeight = 98;    // Panel2
    int detailsPanelHeight = 36;   // Panel3
    int statusBarHeight = 19;      // StatusBar1
    int receivingLabelHeight = 33; // LblSR
    // Space the window keeps around the movie and the bands.
    static constexpr int kExtraWidth = 60;
    static constexpr int kExtraHeight = 90;
    // The alarm frame reaches this far beyond the movie panel on each side.
    static constexpr int kAlarmFrameMargin = 10;
    // The window sits this high above the bottom of the screen (a task bar's room).
    static constexpr int kBottomMargin = 37;
};

struct MovieLayout
{
    LayoutRect panel1;     // the movie frame
    LayoutRect alarmFrame; // ImgAlarmCirc
    LayoutRect window;     // outer frame, in screen coordinates
};

// The layout for a movie panel of movie.width x movie.height. Halves drop the
// remainder. The window is not kept on the screen: a screen lower than the
// window puts its top above the screen's edge.
MovieLayout layMovie(PanelSize movie, const LayoutMetrics& metrics, int screenHeight);

// The size toggle: from a panel of the given width to the other size, and the
// glyph the button shows afterwards.
struct SizeToggle
{
    PanelSize size;
    SizeGlyph glyph;
};
SizeToggle toggleMovieSize(int panelWidth);

// Left edge that centres a label of labelWidth over the movie panel.
int centredOver(const LayoutRect& panel, int labelWidth);

} // namespace monitor
