#include "BrokerAddress.h"

#include <charconv>

namespace fleet {

namespace {

std::string bracketed(const std::string& host)
{
    return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

bool isHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

} // namespace

std::string BrokerAddress::clientUri() const
{
    return "tcp://" + bracketed(host) + ":" + std::to_string(port);
}

std::string BrokerAddress::text() const
{
    return "mqtt://" + bracketed(host) + ":" + std::to_string(port);
}

std::variant<BrokerAddress, std::string> parseBrokerAddress(std::string_view text)
{
    const std::string quoted = "\"" + std::string(text) + "\"";
    std::string_view rest = text;
    if (rest.starts_with("mqtt://"))
        rest.remove_prefix(7);
    else if (rest.starts_with("tcp://"))
        rest.remove_prefix(6);
    else
        return "the broker " + quoted + " is not of the form mqtt://HOST:PORT";
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);

    BrokerAddress address;
    std::string_view portText;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return "the broker " + quoted +
                   " opens an IPv6 address with \"[\" and does not close it";
        address.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':'))
            return "the broker " + quoted + " has text after its IPv6 address";
        if (address.host.empty() ||
            address.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return "the broker " + quoted + " has no valid IPv6 address in brackets";
        portText = after.empty() ? std::string_view() : after.substr(1);
        if (after == ":")
            return "the broker " + quoted + " has an empty port";
    } else {
        const auto colon = rest.find(':');
        address.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty())
                return "the broker " + quoted + " has an empty port";
        }
        if (address.host.empty())
            return "the broker " + quoted + " names no host";
        for (const char c : address.host) {
            if (!isHostCharacter(c))
                return "the broker " + quoted +
                       " has a host name with a character that no host name holds";
        }
    }
    if (!portText.empty()) {
        unsigned port = 0;
        const auto [end, error] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
            port > 65535)
            return "the broker " + quoted + " has port \"" + std::string(portText) +
                   "\", not one of 1 to 65535";
        address.port = static_cast<std::uint16_t>(port);
    }
    return address;
}

} // namespace fleet
