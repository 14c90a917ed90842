// The FFmpeg movie engine's start and stop: checks that the demuxers and the
// decoder that recorder clips need are present, and keeps FFmpeg's own
// logging quiet (failures reach the program as engine codes instead).
#pragma once

#include "EngineLibrary.h"

namespace movieview {

class FfmpegEngineLibrary final : public EngineLibrary
{
public:
    MovieErrorCode initialize() override;
    MovieErrorCode enterMovies() override;
    void exitMovies() override;
    void terminate() override;

private:
    int m_previousLogLevel = 0;
};

} // namespace movieview
