// An engine whose start can be made to fail, recording which of its calls ran.
#pragma once

#include "EngineLibrary.h"

#include <string>
#include <vector>

namespace movietest {

class FakeEngineLibrary final : public movieview::EngineLibrary
{
public:
    FakeEngineLibrary(movieview::MovieErrorCode initializeResult,
                      movieview::MovieErrorCode enterResult, std::vector<std::string>* calls)
        : m_initialize(initializeResult), m_enter(enterResult), m_calls(calls)
    {
    }

    movieview::MovieErrorCode initialize() override { return record("initialize", m_initialize); }
    movieview::MovieErrorCode enterMovies() override { return record("enterMovies", m_enter); }
    void exitMovies() override { record("exitMovies", 0); }
    void terminate() override { record("terminate", 0); }

private:
    movieview::MovieErrorCode record(const char* call, movieview::MovieErrorCode result)
    {
        if (m_calls)
            m_calls->push_back(call);
        return result;
    }

    movieview::MovieErrorCode m_initialize;
    movieview::MovieErrorCode m_enter;
    std::vector<std::string>* m_calls; // owned by the test
};

} // namespace movietest
