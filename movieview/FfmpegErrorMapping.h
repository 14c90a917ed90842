// The one place where FFmpeg's failures become engine result codes.
#pragma once

#include "MovieErrorCode.h"

#include <string>

namespace movieview {

// What the engine was doing when FFmpeg failed; the same FFmpeg error can mean
// different things (invalid data while probing means "no movie here", while
// decoding it means "the movie is damaged").
enum class FfmpegStep
{
    OpenFile,    // opening the file for reading
    Probe,       // recognising the container and its streams
    OpenDecoder, // finding and opening the video decoder
    Decode,      // reading and decoding frames
    Seek,        // repositioning
};

// 0 stays 0; every negative FFmpeg result maps to a non-zero engine code.
MovieErrorCode engineCodeFor(int averror, FfmpegStep step);

// FFmpeg's own words for an error, for diagnostics.
std::string ffmpegErrorText(int averror);

} // namespace movieview
