// The gateway's settings put together.
#include "GatewayConfig.h"

#include "DataFolder.h"
#include "FleetTopics.h"
#include "Paths.h"
#include "StationSettings.h"

namespace gateway {

std::string dataFolderOf(const GatewayCommandLine& line)
{
    std::string folder = platform::dataFolder(platform::DataOwner::service, line.data);
    return folder.empty() ? std::string("./") : folder;
}

std::string settingsFileOf(const GatewayCommandLine& line)
{
    return !line.settings.empty()
               ? line.settings
               : platform::joinPath(dataFolderOf(line), monitor::kSettingsFileName);
}

std::variant<GatewayConfig, std::string> resolveGatewayConfig(const GatewayCommandLine& line,
                                                              const FleetSettings& settings,
                                                              std::string_view hostName)
{
    GatewayConfig config;
    config.port = line.port.value_or(kDefaultPort);
    config.dataFolder = dataFolderOf(line);
    config.settingsFile = settingsFileOf(line);
    config.prefix = settings.prefix.empty() ? std::string(fleet::kDefaultPrefix) : settings.prefix;
    config.maxClipBytes = settings.maxClipBytes;
    config.name = !line.name.empty() ? line.name
                  : !settings.name.empty()
                      ? settings.name
                      : std::string(hostName) + "-" + std::to_string(config.port);
    if (!fleet::topicLevel(config.name))
        return "the gateway's name \"" + config.name + "\" must be 1 to " +
               std::to_string(fleet::kMaxNameBytes) + " bytes";
    const std::string& broker = !line.fleet.empty() ? line.fleet : settings.broker;
    if (!broker.empty()) {
        auto parsed = fleet::parseBrokerAddress(broker);
        if (const std::string* error = std::get_if<std::string>(&parsed))
            return (!line.fleet.empty() ? "--fleet: " : "[Fleet] BROKER: ") + *error;
        config.broker = std::get<fleet::BrokerAddress>(std::move(parsed));
    }
    return config;
}

} // namespace gateway
