// What the station's window tests share: a screen of a chosen height, message
// boxes that only record, a free loopback port, a program folder holding
// the idle movie and the options of a station made of them.
#pragma once

#include "FreePort.h"
#include "MessageBoxes.h"
#include "Paths.h"
#include "ScreenGeometry.h"
#include "TempFolder.h"
#include "pmain.h"

#include <QString>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace stationtest {

class FixedScreen final : public monitor::ScreenGeometry
{
public:
    explicit FixedScreen(int height) : m_height(height) {}
    int screenHeight() const override { return m_height; }

private:
    int m_height;
};

class RecordedMessageBoxes final : public monitor::MessageBoxes
{
public:
    struct Box
    {
        QString caption;
        QString text;
    };
    void showError(QWidget*, const QString& caption, const QString& text) override
    {
        boxes.push_back({caption, text});
    }
    std::vector<Box> boxes;
};

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

// A station in the given folder that shows on the given screen and records its
// message boxes, on a free port unless one is given, with a lock of this test
// process alone.
inline monitor::StationOptions stationOptions(const ProgramFolder& folder, FixedScreen& screen,
                                              RecordedMessageBoxes& boxes,
                                              std::uint16_t port = freePort())
{
    monitor::StationOptions options;
    options.port = port;
    options.programFolder = folder.path();
    options.screen = &screen;
    options.messageBoxes = &boxes;
    options.singleInstanceName = testInstanceName();
    return options;
}

} // namespace stationtest
