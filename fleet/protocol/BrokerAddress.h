// Where the fleet's broker listens, as the command line and the settings give
// it: "mqtt://HOST:PORT" (the port may be left out: 1883), or "tcp://HOST:PORT"
// as MQTT clients also write it. HOST is a name, an IPv4 address or an IPv6
// address in brackets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace fleet {

inline constexpr std::uint16_t kDefaultBrokerPort = 1883;

struct BrokerAddress
{
    std::string host;
    std::uint16_t port = kDefaultBrokerPort;

    // "tcp://HOST:PORT", as the MQTT client library takes it.
    std::string clientUri() const;
    // "mqtt://HOST:PORT", as the station shows it.
    std::string text() const;
};

// The address, or one line that says what is wrong with the text.
std::variant<BrokerAddress, std::string> parseBrokerAddress(std::string_view text);

} // namespace fleet
