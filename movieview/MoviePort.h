// Where a movie draws: the engine's side of a view's window. The view makes
// one for its window; a movie keeps the port it was created with.
#pragma once

#include "MovieBox.h"
#include "MovieFrame.h"

namespace movieview {

class MoviePort
{
public:
    virtual ~MoviePort() = default;
    // Draws the frame stretched over the box. Called while the window paints.
    virtual void drawFrame(const MovieFrame& frame, const MovieBox& box) = 0;
    // Asks the window to repaint the box soon.
    virtual void invalidate(const MovieBox& box) = 0;
};

} // namespace movieview
