#include "ScreenGeometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace monitor {
namespace {

class PrimaryScreen final : public ScreenGeometry
{
public:
    int screenHeight() const override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->geometry().height() : 0;
    }
};

} // namespace

ScreenGeometry& primaryScreen()
{
    static PrimaryScreen screen;
    return screen;
}

} // namespace monitor
