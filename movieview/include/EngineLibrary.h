// The four calls that bring the movie engine up and down for the whole
// program. The FFmpeg engine implements them; tests put in one that fails.
#pragma once

#include "MovieErrorCode.h"

namespace movieview {

class EngineLibrary
{
public:
    virtual ~EngineLibrary() = default;
    // Loads and checks the engine's machinery; 0 on success.
    virtual MovieErrorCode initialize() = 0;
    // Readies the engine for movies; called only after initialize() succeeded.
    virtual MovieErrorCode enterMovies() = 0;
    virtual void exitMovies() = 0;
    virtual void terminate() = 0;
};

} // namespace movieview
