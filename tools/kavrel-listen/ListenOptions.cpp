#include "ListenOptions.h"

#include "CommandLine.h"

#include <charconv>
#include <optional>

namespace listenhost {

namespace {

constexpr unsigned kMaxPort = 65535;

std::optional<unsigned> parsePort(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > kMaxPort)
        return std::nullopt;
    return value;
}

// The command line, declared once for parsing and for the help text.
void declare(CLI::App& app, ListenOptions& options)
{
    app.description(R"(Starts the receiver library on a TCP port (default 9600) and prints one line
per event it reports: code and name, connection name, data length and a
preview of the data (text shown in UTF-8, control bytes escaped). Lines leave
as they happen, also into a pipe or a file. Ends on Ctrl-C or SIGTERM,
stopping the library in order.)");
    toolcli::addValue(app, "--port", "N", "TCP port (default 9600)",
                      [&options](std::string_view v) {
                          const auto port = parsePort(v);
                          if (!port)
                              return "--port needs a whole number from 0 to 65535, not \"" +
                                     std::string(v) + "\"";
                          options.port = static_cast<std::uint16_t>(*port);
                          return std::string();
                      });
    toolcli::addSwitch(app, "--quiet", options.quiet,
                       "print no event lines, only the totals at the end");
    toolcli::addSwitch(app, "--raw-sink", options.rawSink,
                       "a plain TCP sink instead of the library (see below)");
    app.footer(R"(With --raw-sink, a plain TCP sink takes the library's place: it reads and
discards every byte and acknowledges nothing, reporting each connection's
bytes and rate (port 0 picks a free port); for comparing the receiver's
throughput with the raw loopback rate.
)");
}

} // namespace

ParsedListenOptions parseListenOptions(std::span<const std::string_view> args)
{
    ParsedListenOptions parsed;
    CLI::App app("", "kavrel-listen");
    declare(app, parsed.options);
    static_cast<toolcli::ParseResult&>(parsed) = toolcli::parse(app, args);
    if (parsed.action == ParsedListenOptions::Action::Run && parsed.options.port == 0 &&
        !parsed.options.rawSink) {
        // The library does not say which port it picked, so port 0 would leave nobody able to call
        // in.
        parsed.action = ParsedListenOptions::Action::Error;
        parsed.error = "--port 0 is only for --raw-sink; the receiver needs a known port";
    }
    return parsed;
}

std::string listenUsage(std::string_view program)
{
    ListenOptions unused;
    CLI::App app("", std::string(program));
    declare(app, unused);
    return app.help();
}

} // namespace listenhost
