// The height of the screen the window is placed on; tests give their own.
#pragma once

namespace monitor {

class ScreenGeometry
{
public:
    virtual ~ScreenGeometry() = default;
    virtual int screenHeight() const = 0;
};

// The primary screen as the window toolkit sees it.
ScreenGeometry& primaryScreen();

} // namespace monitor
