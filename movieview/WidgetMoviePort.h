// The port of a movie view's widget: where decoded frames become images. The
// frame's bytes are wrapped, not copied, and stretched over the movie's box.
#pragma once

#include "MoviePort.h"

class QWidget;

namespace movieview {

class WidgetMoviePort final : public MoviePort
{
public:
    explicit WidgetMoviePort(QWidget& widget) : m_widget(widget) {}

    void drawFrame(const MovieFrame& frame, const MovieBox& box) override;
    void invalidate(const MovieBox& box) override;

private:
    QWidget& m_widget; // the view that owns this port
};

} // namespace movieview
