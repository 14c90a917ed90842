#include "ListenOptions.h"

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

} // namespace

ParsedListenOptions parseListenOptions(std::span<const std::string_view> args)
{
    ParsedListenOptions parsed;
    const auto fail = [&](std::string text) {
        parsed.action = ParsedListenOptions::Action::Error;
        parsed.error = std::move(text);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.action = ParsedListenOptions::Action::Help;
            return parsed;
        }
        if (arg == "--raw-sink") {
            parsed.options.rawSink = true;
        } else if (arg == "--quiet") {
            parsed.options.quiet = true;
        } else if (arg == "--port" || arg.starts_with("--port=")) {
            std::string_view value;
            if (arg == "--port") {
                if (i + 1 >= args.size())
                    return fail("--port needs a value");
                value = args[++i];
            } else {
                value = arg.substr(std::string_view("--port=").size());
            }
            const auto port = parsePort(value);
            if (!port)
                return fail("--port needs a whole number from 0 to 65535, not \"" +
                            std::string(value) + "\"");
            parsed.options.port = static_cast<std::uint16_t>(*port);
        } else {
            return fail("unknown option " + std::string(arg));
        }
    }
    // The library does not say which port it picked, so port 0 would leave nobody able to call in.
    if (parsed.options.port == 0 && !parsed.options.rawSink)
        return fail("--port 0 is only for --raw-sink; the receiver needs a known port");
    return parsed;
}

std::string listenUsage(std::string_view program)
{
    return "Usage: " + std::string(program) + " [--port N] [--quiet] [--raw-sink]\n" + R"(
Starts the receiver library on a TCP port (default 9600) and prints one line
per event it reports: code and name, connection name, data length and a
preview of the data (text shown in UTF-8, control bytes escaped). Ends on
Ctrl-C or SIGTERM, stopping the library in order.

  --port N     TCP port (default 9600)
  --quiet      print no event lines, only the totals at the end
  --raw-sink   instead of the library, a plain TCP sink that reads and discards
               every byte and acknowledges nothing, reporting each connection's
               bytes and rate (port 0 picks a free port); for comparing the
               receiver's throughput with the raw loopback rate
  --help       this text
)";
}

} // namespace listenhost
