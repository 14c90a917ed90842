#include "MovieController.h"

#include "Movie.h"
#include "MovieEngineSession.h"

namespace movieview {

MovieController::MovieController(Movie& movie, const MovieBox& box, long flags)
    : m_movie(movie), m_flags(flags)
{
    if ((flags & ControllerFlag::mcTopLeftMovie) != 0) {
        const MovieBox natural = movie.box();
        movie.setBox(MovieBox{box.top, box.left,
                              static_cast<std::int16_t>(box.top + natural.height()),
                              static_cast<std::int16_t>(box.left + natural.width())});
    }
}

bool MovieController::isPlayerEvent(const EngineEvent& event)
{
    switch (event.what) {
    case EngineEventKind::Update:
        m_movie.draw();
        return true;
    case EngineEventKind::MouseDown:
        if (event.doubleClick && event.primaryButton) {
            togglePlaying();
            return true;
        }
        return false;
    case EngineEventKind::KeyDown:
        if (event.key == kSpaceKey && !event.autoRepeat) {
            togglePlaying();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void MovieController::togglePlaying()
{
    if (m_movie.playing() && !m_movie.atEnd()) {
        m_movie.stop();
        return;
    }
    if (m_movie.playing())
        m_movie.stop();
    if (m_movie.atEnd() || m_movie.time() >= m_movie.duration())
        m_movie.goToBeginning();
    m_movie.start();
}

std::unique_ptr<MovieController> NewMovieController(Movie& movie, const MovieBox& box, long flags)
{
    noteEngineResult(EngineCode::noErr);
    return std::make_unique<MovieController>(movie, box, flags);
}

} // namespace movieview
