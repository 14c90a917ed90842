// The movie controller: acts on the view's events for one movie. It draws the
// movie when the window paints, and a double click or the Space key toggles
// playing and pausing (playing from the end starts again at the beginning).
// It shows no controller bar of its own.
#pragma once

#include "EngineEvent.h"
#include "MovieBox.h"

#include <memory>

namespace movieview {

class Movie;

namespace ControllerFlag {
inline constexpr long mcTopLeftMovie = 1; // the movie at the top left of the controller's box
inline constexpr long mcNotVisible = 8;   // no controller bar
} // namespace ControllerFlag

class MovieController
{
public:
    MovieController(Movie& movie, const MovieBox& box, long flags);

    // True when the controller acted on the event.
    bool isPlayerEvent(const EngineEvent& event);
    long flags() const { return m_flags; }

private:
    void togglePlaying();

    Movie& m_movie; // outlives the controller: views dispose the controller first
    long m_flags;
};

// Makes a controller for the movie; its box places the movie when the flags
// ask for mcTopLeftMovie.
std::unique_ptr<MovieController> NewMovieController(Movie& movie, const MovieBox& box, long flags);

} // namespace movieview
