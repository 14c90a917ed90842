#include "FfmpegErrorMapping.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

namespace movieview {

MovieErrorCode engineCodeFor(int averror, FfmpegStep step)
{
    if (averror >= 0)
        return EngineCode::noErr;

    if (averror == AVERROR(ENOENT) || averror == AVERROR(ENOTDIR))
        return EngineCode::fileNotFound;
    if (averror == AVERROR(EACCES) || averror == AVERROR(EPERM) || averror == AVERROR(EIO) ||
        averror == AVERROR(EISDIR))
        return EngineCode::readError;
    if (averror == AVERROR(ENOMEM))
        return EngineCode::internalError;
    if (averror == AVERROR_DECODER_NOT_FOUND)
        return EngineCode::cantFindHandler;
    if (averror == AVERROR_STREAM_NOT_FOUND || averror == AVERROR_DEMUXER_NOT_FOUND)
        return EngineCode::noMovieFound;
    if (averror == AVERROR_EOF)
        return step == FfmpegStep::Probe ? EngineCode::noMovieFound : EngineCode::endOfData;
    if (averror == AVERROR_INVALIDDATA) {
        switch (step) {
        case FfmpegStep::OpenFile:
        case FfmpegStep::Probe:
            return EngineCode::noMovieFound;
        case FfmpegStep::OpenDecoder:
            return EngineCode::cantOpenHandler;
        case FfmpegStep::Decode:
            return EngineCode::badMovie;
        case FfmpegStep::Seek:
            return EngineCode::invalidTime;
        }
    }
    switch (step) {
    case FfmpegStep::OpenDecoder:
        return EngineCode::cantOpenHandler;
    case FfmpegStep::Seek:
        return EngineCode::invalidTime;
    case FfmpegStep::OpenFile:
    case FfmpegStep::Probe:
    case FfmpegStep::Decode:
        break;
    }
    return EngineCode::unmapped;
}

std::string ffmpegErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

} // namespace movieview
