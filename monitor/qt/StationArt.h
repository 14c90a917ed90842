// The window's pictures, drawn when the program starts: the two glyphs of the
// movie-size button and the two alarm frames. White in the designs is shown
// transparent, so the pictures are drawn on a transparent ground.
#pragma once

#include "MovieLayout.h"

#include <QPixmap>

namespace monitor {

inline constexpr int kGlyphSize = 16;

// ImageList1: index 0 (Reduce) an arrow pointing into a smaller frame, index 1
// (Enlarge) an arrow pointing out of a small frame.
QPixmap sizeGlyph(SizeGlyph glyph);

// A rectangular frame in the given colour, to be stretched over its control.
QPixmap alarmFrame(const QColor& colour, QSize size);

} // namespace monitor
