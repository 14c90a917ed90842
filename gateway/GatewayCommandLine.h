// The gateway's command line:
//   tessaro-gateway [--port N] [--fleet mqtt://HOST:PORT] [--data DIR] [--name NAME]
//                   [--settings FILE]
// Each option given wins over the settings file (GatewayConfig.h).
#pragma once

#include "ParseResult.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace gateway {

struct GatewayCommandLine
{
    std::optional<std::int32_t> port;
    std::string fleet;    // empty: not given
    std::string data;     // empty: the program's folder
    std::string name;     // empty: not given
    std::string settings; // empty: tessaro.ini in the data folder
};

struct ParsedCommandLine : toolcli::ParseResult
{
    GatewayCommandLine line;
};

// args: the arguments after the program name.
ParsedCommandLine parseGatewayCommandLine(std::span<const std::string_view> args);
std::string gatewayUsage(std::string_view program);

} // namespace gateway
