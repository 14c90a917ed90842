// Fonts by family and pixel height, falling back to the toolkit's default
// family when the designed one is not installed.
#pragma once

#include <QFont>
#include <QString>

namespace monitor {

// The window's font as designed: 8 points, 11 pixels high.
inline constexpr int kWindowFontPixels = 11;
inline const QString kWindowFontFamily = QStringLiteral("MS Sans Serif");
// The receiving indicator's decorative font.
inline const QString kIndicatorFontFamily = QStringLiteral("Cataneo BT");

QFont designedFont(const QString& family, int pixelSize);

} // namespace monitor
