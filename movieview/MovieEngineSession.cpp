#include "MovieEngineSession.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <stdexcept>

namespace movieview {

namespace {

// The one live session; written only by its constructor and destructor.
MovieEngineSession* g_current = nullptr;

// The FFmpeg engine's start and stop: checks that the demuxers and the decoder
// that recorder clips need are present, and keeps FFmpeg's own logging quiet
// (failures reach the program as engine codes instead).
class FfmpegEngineLibrary final : public EngineLibrary
{
public:
    MovieErrorCode initialize() override
    {
        m_previousLogLevel = av_log_get_level();
        av_log_set_level(AV_LOG_QUIET);
        // Clips come as QuickTime/MP4 files or as raw MPEG-4 part 2 streams.
        const bool demuxers =
            av_find_input_format("mov") != nullptr && av_find_input_format("m4v") != nullptr;
        if (!demuxers || avcodec_find_decoder(AV_CODEC_ID_MPEG4) == nullptr)
            return EngineCode::cantFindHandler;
        return EngineCode::noErr;
    }
    MovieErrorCode enterMovies() override { return EngineCode::noErr; }
    void exitMovies() override {}
    void terminate() override { av_log_set_level(m_previousLogLevel); }

private:
    int m_previousLogLevel = 0;
};

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
