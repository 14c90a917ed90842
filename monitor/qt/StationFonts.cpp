#include "StationFonts.h"

#include <QApplication>
#include <QFontDatabase>

namespace monitor {

QFont designedFont(const QString& family, int pixelSize)
{
    QFont font = QApplication::font();
    if (QFontDatabase::hasFamily(family))
        font.setFamily(family);
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace monitor
