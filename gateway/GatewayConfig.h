// What a gateway runs with: the command line over tessaro.ini's [Fleet]
// section over the defaults, and the intervals of its loops and retries, each
// the owning class's own constant unless a test wants it shorter.
#pragma once

#include "BrokerAddress.h"
#include "FleetPublisher.h"
#include "FleetSettings.h"
#include "GatewayCommandLine.h"
#include "ListenRetry.h"
#include "RetentionWorker.h"
#include "StorageGuard.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace gateway {

// The TCP port the recorders call, as the station's.
inline constexpr std::int32_t kDefaultPort = 9600;

struct GatewayConfig
{
    std::int32_t port = kDefaultPort;
    std::string dataFolder;                     // with a trailing separator
    std::string settingsFile;                   // tessaro.ini: --settings, else in dataFolder
    std::optional<fleet::BrokerAddress> broker; // none: receive and archive only
    std::string prefix;
    std::string name;
    std::uint64_t maxClipBytes = kDefaultMaxClipBytes;

    // How often the gateway looks into its event queue when it found it empty.
    std::chrono::milliseconds drainInterval{5};
    // How often it counts what happened on standard error, when something did.
    std::chrono::milliseconds summaryInterval{60000};
    // How long the orderly stop waits for the receiver, then for the broker.
    std::chrono::milliseconds stopReceiving{5000};
    std::chrono::milliseconds stopFlush{3000};
    std::chrono::milliseconds listenRetry = monitor::ListenRetry::kInterval;
    std::chrono::milliseconds storageRetry = monitor::StorageGuard::kRetryInterval;
    std::chrono::milliseconds retentionInterval = monitor::RetentionWorker::kInterval;
    std::chrono::milliseconds brokerFirstDelay = fleet::ReconnectDelay::kFirst;
    std::chrono::milliseconds brokerLongestDelay = fleet::ReconnectDelay::kLongest;
};

// The data folder the command line names, else the program's when it can be
// written, else the service's (/var/lib/tessaro-gateway).
std::string dataFolderOf(const GatewayCommandLine& line);
// The settings file: --settings, else tessaro.ini in the data folder.
std::string settingsFileOf(const GatewayCommandLine& line);
// The command line wins over the settings; hostName makes the default name.
// Gives one line saying what is wrong when the broker's address cannot be read.
std::variant<GatewayConfig, std::string> resolveGatewayConfig(const GatewayCommandLine& line,
                                                              const FleetSettings& settings,
                                                              std::string_view hostName);

} // namespace gateway
