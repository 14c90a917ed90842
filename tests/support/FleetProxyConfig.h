// The fleet's HAProxy configuration (scripts/fleet/haproxy.cfg.in) with its
// names filled in, for tests that start a real proxy on loopback ports.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

inline std::string fleetProxyConfiguration(const std::string& templatePath,
                                           std::uint16_t listenPort, std::uint16_t gateway1,
                                           std::uint16_t gateway2)
{
    std::ifstream in(templatePath);
    std::stringstream text;
    text << in.rdbuf();
    std::string config = text.str();
    const std::pair<std::string, std::string> names[] = {
        {"@LISTEN_ADDRESS@", "127.0.0.1"},
        {"@LISTEN_PORT@", std::to_string(listenPort)},
        {"@GATEWAY1_PORT@", std::to_string(gateway1)},
        {"@GATEWAY2_PORT@", std::to_string(gateway2)},
    };
    for (const auto& [name, value] : names)
        for (std::size_t at; (at = config.find(name)) != std::string::npos;)
            config.replace(at, name.size(), value);
    return config;
}
