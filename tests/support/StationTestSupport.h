// What the station's tests share: a free loopback port, a program folder
// holding the idle movie, a single-instance lock of the test process alone,
// and the options of a station made of them.
#pragma once

#include "FreePort.h"
#include "Paths.h"
#include "StationOptions.h"
#include "TempFolder.h"

#include <filesystem>
#include <string>
#include <unistd.h>

namespace stationtest {

using testsupport::freePort;

// A single-instance lock name of this test process alone.
inline std::string testInstanceName()
{
    return "Tessaro_MUTEX-test-" + std::to_string(::getpid());
}

// The build puts the idle movie beside the programs, tests included.
inline std::string builtIdleMovie()
{
    return platform::joinPath(platform::programFolder(), "nopicture.mov");
}

// A temporary program folder, with the idle movie in it when asked.
class ProgramFolder
{
public:
    explicit ProgramFolder(bool withIdleMovie = true)
    {
        if (withIdleMovie)
            std::filesystem::copy_file(builtIdleMovie(), m_folder.path() + "nopicture.mov");
    }
    const std::string& path() const { return m_folder.path(); }

private:
    TempFolder m_folder;
};

// A station in the given folder, on a free port unless one is given, with a
// lock of this test process alone.
inline monitor::StationOptions stationOptions(const ProgramFolder& folder,
                                              std::uint16_t port = freePort())
{
    monitor::StationOptions options;
    options.port = port;
    options.programFolder = folder.path();
    options.singleInstanceName = testInstanceName();
    return options;
}

} // namespace stationtest
