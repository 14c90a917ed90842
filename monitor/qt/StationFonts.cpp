#include "StationFonts.h"

#include <QApplication>
#include <QFontDatabase>

namespace monitor {

QFont designedFont(const QString& family, int pixelSize, int stretch)
{
    QFont font = QApplication::font();
    if (QFontDatabase::hasFamily(family))
        font.setFamily(family);
    font.setPixelSize(pixelSize);
    font.setStretch(stretch);
    return font;
}

QFont windowFont()
{
    return designedFont(kWindowFontFamily, kWindowFontPixels, kWindowFontStretch);
}

QFont denseFont()
{
    return designedFont(kWindowFontFamily, kDenseFontPixels, kDenseFontStretch);
}

} // namespace monitor
