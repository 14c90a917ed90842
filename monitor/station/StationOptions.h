// What a station is started with: its port, its program folder, the clocks and
// sounds it uses, and the intervals of its retries, each the owning class's
// own constant unless a test wants it shorter. The station's identity (title,
// port, single-instance name, idle movie) is named here once.
#pragma once

#include "FleetSubscriber.h"
#include "ListenRetry.h"
#include "RetentionWorker.h"
#include "StorageGuard.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class AlarmSound;
class Clock;
} // namespace platform

namespace monitor {

// The caption of the window and the program's title.
inline constexpr const char* kStationTitle = "Corvane V3.16.01";
// The TCP port the recorders call.
inline constexpr std::int32_t kStationPort = 9600;
inline constexpr const char* kSingleInstanceName = "Tessaro_MUTEX";
inline constexpr const char* kIdleMovieName = "nopicture.mov";

struct StationOptions
{
    std::int32_t port = kStationPort;
    // The data folder (archive, journal, log, settings), with a trailing
    // separator; empty: the folder of the program file.
    std::string programFolder;
    // Whether the storage line names the data folder while the archive can be
    // written: an installed station keeps it away from its program.
    bool showDataFolder = false;
    platform::Clock* clock = nullptr; // none: the system's clocks
    // None: the system's sounds. A sound given here has its tone ends
    // reported by the test, through alarm().ToneEnded().
    platform::AlarmSound* alarmSound = nullptr;
    // The single-instance lock; tests running side by side take one each.
    std::string singleInstanceName = kSingleInstanceName;
    // The virtual GPS port's device; empty: the path "\\.\VGPSIn" maps to.
    std::string gpsPortPath;
    // Whether the GPS forwarding finds the navigation window through X11: only
    // when the station's own windows are there too (the window sets it).
    bool navigationOnX11 = false;
    // Starts the receiver on the port and registers HostCallback with it;
    // none: the receiver library's exports, GPRSInitial and
    // GPRSRegisterCallbackInformation. Tests give a receiver with short time-outs.
    std::function<void(void* window, std::int32_t port)> startReceiver;
    // How often the receiver library is started again while its port cannot
    // be used (taken by another program).
    std::chrono::milliseconds listenRetry = ListenRetry::kInterval;
    // How long the window says that the receiver listens again, unless data comes first.
    std::chrono::milliseconds listenNotice = ListenRetry::kNoticeShown;
    // How often a recorder held while the archive cannot be written is tried again.
    std::chrono::milliseconds storageRetry = StorageGuard::kRetryInterval;
    // How often the archive is kept within the limits of tessaro.ini.
    std::chrono::milliseconds retentionInterval = RetentionWorker::kInterval;
    // The fleet's broker ("mqtt://HOST:PORT"), from the command line or from
    // [Fleet] BROKER= of tessaro.ini; empty: the station receives its own
    // recorders. On a fleet the station does not listen, archives nothing and
    // lists and follows the recorders that the fleet's gateways receive.
    std::string fleetBroker;
    // The subscriber's prefix, intervals and limits; its broker is fleetBroker.
    fleet::FleetSubscriber::Options fleet;
};

} // namespace monitor
