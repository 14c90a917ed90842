// A second station on a fleet, in a process of its own, for the tests of two
// stations watching one fleet: it ticks like the window's Timer1, selects as
// the station does (the first recorder listed) and prints its list whenever
// it changes: "listed COUNT FIRST-KEY LAST-KEY". The test stops it.
//
// fleet_station_peer BROKER GPS-DEVICE PROGRAM-FOLDER
#include "DeviceRegistry.h"
#include "FleetTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr auto kLifetime = std::chrono::seconds(120);

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("fleet_station_peer BROKER GPS-DEVICE PROGRAM-FOLDER\n", stderr);
        return 2;
    }
    monitor::StationOptions options;
    options.fleetBroker = argv[1];
    options.gpsPortPath = argv[2];
    options.programFolder = argv[3];
    options.singleInstanceName = "Tessaro_MUTEX-peer-" + std::to_string(::getpid());
    fleettest::FleetStationRig rig(std::move(options));
    rig.station->FormCreate();
    const monitor::DeviceLists& lists = rig.station->registry().lists();
    std::string told;
    rig.tickUntil(
        [&] {
            std::vector<std::string> keys;
            for (int p = 0; p < lists.count(); ++p)
                keys.push_back(lists.key(p));
            std::sort(keys.begin(), keys.end());
            const std::string line =
                "listed " + std::to_string(keys.size()) +
                (keys.empty() ? std::string() : " " + keys.front() + " " + keys.back());
            if (line != told) {
                told = line;
                std::printf("%s\n", line.c_str());
                std::fflush(stdout);
            }
            return false;
        },
        kLifetime);
    return 0;
}
