// A GPS forwarder as the window sets it up, with hand-driven timers, a program
// folder of its own and a record of what the GPS line showed.
#pragma once

#include "GpsForwarder.h"
#include "ManualTimer.h"
#include "TempFolder.h"
#include "WindowSystem.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

struct GpsForwarderRig
{
    explicit GpsForwarderRig(std::string portPath,
                             std::chrono::milliseconds portWait = monitor::GpsForwarder::kPortWait,
                             platform::WindowSystem* windowSystem = nullptr)
        : windows(windowSystem ? *windowSystem : *nullWindows),
          forwarder(gpsTimer, initGpsTimer, windows,
                    {programFolder.path(), std::move(portPath), portWait})
    {
        forwarder.SetTextOutput([this](const std::string& text) { shown.push_back(text); });
    }

    void writeFile(const std::string& name, const std::string& content)
    {
        std::ofstream(programFolder.path() + name, std::ios::binary) << content;
    }

    TempFolder programFolder;
    testsupport::ManualTimer gpsTimer;
    testsupport::ManualTimer initGpsTimer;
    std::unique_ptr<platform::WindowSystem> nullWindows = platform::makeNullWindowSystem();
    platform::WindowSystem& windows;
    std::vector<std::string> shown; // texts of the GPS line, in order
    monitor::GpsForwarder forwarder;
};
