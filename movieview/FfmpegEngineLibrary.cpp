#include "FfmpegEngineLibrary.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace movieview {

MovieErrorCode FfmpegEngineLibrary::initialize()
{
    m_previousLogLevel = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    // Clips come as QuickTime/MP4 files or as raw MPEG-4 part 2 streams.
    const bool demuxers =
        av_find_input_format("mov") != nullptr && av_find_input_format("m4v") != nullptr;
    if (!demuxers)
        return EngineCode::cantFindHandler;
    if (avcodec_find_decoder(AV_CODEC_ID_MPEG4) == nullptr)
        return EngineCode::cantFindHandler;
    return EngineCode::noErr;
}

MovieErrorCode FfmpegEngineLibrary::enterMovies()
{
    return EngineCode::noErr;
}

void FfmpegEngineLibrary::exitMovies() {}

void FfmpegEngineLibrary::terminate()
{
    av_log_set_level(m_previousLogLevel);
}

} // namespace movieview
