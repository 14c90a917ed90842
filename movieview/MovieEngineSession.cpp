#include "MovieEngineSession.h"

#include "FfmpegEngineLibrary.h"

#include <stdexcept>

namespace movieview {

namespace {
// The one live session; written only by its constructor and destructor.
MovieEngineSession* g_current = nullptr;
} // namespace

MovieEngineSession::MovieEngineSession()
    : MovieEngineSession(std::make_unique<FfmpegEngineLibrary>())
{
}

MovieEngineSession::MovieEngineSession(std::unique_ptr<EngineLibrary> library)
    : m_library(std::move(library))
{
    if (g_current)
        throw std::logic_error("the movie engine is started once per program");
    if (!m_library)
        throw std::invalid_argument("a movie engine session needs an engine");
    // enterMovies() runs only when initialize() succeeded.
    m_available = m_library->initialize() == EngineCode::noErr &&
                  m_library->enterMovies() == EngineCode::noErr;
    g_current = this;
}

MovieEngineSession::~MovieEngineSession()
{
    // Both stop calls run whether or not the start succeeded.
    m_library->exitMovies();
    m_library->terminate();
    g_current = nullptr;
}

MovieEngineSession* MovieEngineSession::current()
{
    return g_current;
}

bool QuickTimeAvailable()
{
    const MovieEngineSession* session = MovieEngineSession::current();
    return session && session->available();
}

} // namespace movieview
