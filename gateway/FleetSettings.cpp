#include "FleetSettings.h"

namespace gateway {

FleetSettings fleetSettingsOf(const monitor::StationSettings& settings)
{
    FleetSettings fleet;
    fleet.broker = settings.fleetBroker;
    fleet.prefix = settings.fleetPrefix;
    fleet.name = settings.fleetName;
    if (settings.fleetMaxClipBytes != 0)
        fleet.maxClipBytes = settings.fleetMaxClipBytes;
    fleet.problems = settings.problems;
    return fleet;
}

FleetSettings parseFleetSettings(std::string_view text, std::string_view fileName)
{
    return fleetSettingsOf(monitor::parseStationSettings(text, fileName));
}

FleetSettings readFleetSettings(const std::string& path)
{
    return fleetSettingsOf(monitor::readStationSettings(path));
}

} // namespace gateway
