// The archive's clips shown in the window's movie view.
//
// Threading: user-interface thread only.
#pragma once

#include "ClipViewer.h"

namespace movieview {
class TQTMovie;
}

namespace monitor {

class MovieClipViewer final : public ClipViewer
{
public:
    // The movie view must outlive this viewer.
    explicit MovieClipViewer(movieview::TQTMovie& movie) : m_movie(movie) {}

    // Throws movieview::MovieError when the movie view cannot open the file.
    void showFile(const std::string& path) override;
    void closeMovie() override;

private:
    movieview::TQTMovie& m_movie;
};

} // namespace monitor
