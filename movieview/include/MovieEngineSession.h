// The movie engine's life for the whole program. The program creates one
// session in main() before its main window and destroys it after the window
// (and with it every movie view) is gone: construction starts the engine and
// fixes QuickTimeAvailable, destruction stops it. The session also owns the
// engine's error state.
//
// Threading: user-interface thread only, like every engine call.
#pragma once

#include "EngineErrors.h"
#include "EngineLibrary.h"

#include <memory>

namespace movieview {

class MovieEngineSession
{
public:
    // Starts the FFmpeg engine.
    MovieEngineSession();
    // Starts the given engine. Only one session may exist at a time.
    explicit MovieEngineSession(std::unique_ptr<EngineLibrary> library);
    ~MovieEngineSession();

    MovieEngineSession(const MovieEngineSession&) = delete;
    MovieEngineSession& operator=(const MovieEngineSession&) = delete;

    // The session alive now, or none.
    static MovieEngineSession* current();

    bool available() const { return m_available; }
    EngineErrors& errors() { return m_errors; }

private:
    std::unique_ptr<EngineLibrary> m_library;
    bool m_available = false; // set once by the start, never changed afterwards
    EngineErrors m_errors;
};

// The program-wide flag: true once the engine has started successfully, while
// its session lives.
bool QuickTimeAvailable();

} // namespace movieview
