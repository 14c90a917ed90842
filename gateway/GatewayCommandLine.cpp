// Declaring and reading the gateway's options.
#include "GatewayCommandLine.h"

#include "CommandLine.h"

#include <charconv>

namespace gateway {
namespace {

constexpr std::int32_t kMaxPort = 65535;

void declare(CLI::App& app, GatewayCommandLine& line)
{
    app.description(R"(Receives the recorders' calls without a window, archives what they send in
its data folder, and publishes it to the fleet's MQTT broker, where stations
watch. Without a broker it receives and archives only. Ends on Ctrl-C or
SIGTERM: it stops receiving, archives what is queued and says goodbye.)");
    toolcli::addValue(app, "--port", "N", "TCP port the recorders call (default 9600)",
                      [&line](std::string_view v) {
                          std::int32_t port = 0;
                          const auto [end, ec] =
                              std::from_chars(v.data(), v.data() + v.size(), port);
                          if (v.empty() || ec != std::errc{} || end != v.data() + v.size() ||
                              port < 1 || port > kMaxPort)
                              return "--port needs a whole number from 1 to 65535, not \"" +
                                     std::string(v) + "\"";
                          line.port = port;
                          return std::string();
                      });
    toolcli::addValue(app, "--fleet", "URL",
                      "the broker, mqtt://HOST:PORT (default: [Fleet] BROKER)",
                      [&line](std::string_view v) {
                          line.fleet = v;
                          return std::string();
                      });
    toolcli::addValue(
        app, "--data", "DIR",
        "the data folder: archive, journal, tessaro.ini, quvex.ini, log (default: the "
        "program's folder when it can be written, else /var/lib/tessaro-gateway)",
        [&line](std::string_view v) {
            if (v.empty())
                return std::string("--data needs a folder");
            line.data = v;
            return std::string();
        });
    toolcli::addValue(app, "--name", "NAME",
                      "the gateway's name in the fleet (default: [Fleet] NAME, else HOST-PORT)",
                      [&line](std::string_view v) {
                          if (v.empty())
                              return std::string("--name needs a name");
                          line.name = v;
                          return std::string();
                      });
    toolcli::addValue(app, "--settings", "FILE",
                      "the settings file (default: tessaro.ini in the data folder; the service "
                      "reads /etc/tessaro/tessaro.ini)",
                      [&line](std::string_view v) {
                          if (v.empty())
                              return std::string("--settings needs a file");
                          line.settings = v;
                          return std::string();
                      });
}

} // namespace

ParsedCommandLine parseGatewayCommandLine(std::span<const std::string_view> args)
{
    ParsedCommandLine parsed;
    CLI::App app("", "tessaro-gateway");
    declare(app, parsed.line);
    static_cast<toolcli::ParseResult&>(parsed) = toolcli::parse(app, args);
    return parsed;
}

std::string gatewayUsage(std::string_view program)
{
    GatewayCommandLine unused;
    CLI::App app("", std::string(program));
    declare(app, unused);
    return app.help();
}

} // namespace gateway
