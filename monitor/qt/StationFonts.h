// The station window's fonts. The window was designed for "MS Sans Serif" at
// 8 points (11 pixels high), a narrow font this system does not have; the
// controls keep their designed sizes, and their texts are drawn in DejaVu Sans
// (fonts-dejavu-core, which scripts/setup installs) at the designed height,
// narrowed so that they fit. The face has no narrow cut of its own: Qt narrows
// the glyphs it draws, so the widths are the same on every machine with the
// package. A family that is not installed falls back to the toolkit's default.
#pragma once

#include <QFont>
#include <QString>

namespace monitor {

inline const QString kWindowFontFamily = QStringLiteral("DejaVu Sans");
inline constexpr int kWindowFontPixels = 11;
// Percent of the face's normal width for the window's texts: "Save data to
// disk" beside its box in 107 pixels, "User Name:  " and "Department:" in the
// 64 pixels before their values.
inline constexpr int kWindowFontStretch = 80;
// For the lines filled edge to edge: "Processing..." in the 50-pixel status
// panel, whose bevel leaves 12 pixels of height, and a whole position sentence
// (at most 80 characters) in the 369-pixel GPS line.
inline constexpr int kDenseFontPixels = 10;
inline constexpr int kDenseFontStretch = 70;
// The receiving indicator's decorative font.
inline const QString kIndicatorFontFamily = QStringLiteral("Cataneo BT");

QFont designedFont(const QString& family, int pixelSize, int stretch = QFont::Unstretched);
// The window's own font, which its controls inherit.
QFont windowFont();
// The status bar's and the GPS line's font.
QFont denseFont();

} // namespace monitor
