#include "SimOptions.h"

#include "CommandLine.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>

namespace recorder {

namespace {

constexpr unsigned kMaxRecorders = 10000;
constexpr unsigned kMaxCount = 100000000;
constexpr unsigned kMaxEventBytes = 64u << 20;
constexpr long long kMaxIntervalMs = 3600 * 1000;
constexpr unsigned kRecorderNumberWidth = 4;

std::optional<unsigned long long> parseNumber(std::string_view text, unsigned long long max)
{
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::string setCount(unsigned& target, std::string_view name, std::string_view value, unsigned min,
                     unsigned max)
{
    const auto n = parseNumber(value, max);
    if (!n || *n < min)
        return "--" + std::string(name) + " needs a whole number from " + std::to_string(min) +
               " to " + std::to_string(max) + ", not \"" + std::string(value) + "\"";
    target = static_cast<unsigned>(*n);
    return {};
}

std::string setMs(std::chrono::milliseconds& target, std::string_view name, std::string_view value,
                  long long min)
{
    const auto n = parseNumber(value, kMaxIntervalMs);
    if (!n || static_cast<long long>(*n) < min)
        return "--" + std::string(name) + " needs milliseconds from " + std::to_string(min) +
               " to " + std::to_string(kMaxIntervalMs) + ", not \"" + std::string(value) + "\"";
    target = std::chrono::milliseconds(*n);
    return {};
}

std::string setText(std::string& target, std::string_view value, const char* whenEmpty)
{
    if (value.empty())
        return whenEmpty;
    target = std::string(value);
    return {};
}

using Apply = std::function<std::string(std::string_view)>;

// The command line, declared once for parsing and for the help text. Values
// are checked here, so that every complaint names the option and the value.
void declare(CLI::App& app, SimOptions& o)
{
    app.description(
        R"(Connects one or more simulated recorders to a receiver, sends each one's device
information, then position sentences, event-time records and clips, and checks
every acknowledgement. Exits 0 when every packet was acknowledged correctly,
1 when any acknowledgement was missing or wrong or a connection failed, 2 on
bad options.)");
    app.footer(R"(
With several recorders the serial gets "-0001", "-0002", ... so that keys differ.
All at once (--ramp 0), a receiver with a short listen backlog completes some
handshakes only after the system's connection retries, seconds later. With
--dials N a recorder hangs up and dials again, as a real one does, when a
connect fails or stays unanswered for --dial-timeout, or when the connection
ends before its device information is acknowledged.
With --no-ack every packet is streamed, the sending side closed, and the
acknowledgements that arrive before the receiver closes are checked.
A recorder with --never-read has a small receive buffer, as a modem has, and
waits silently for the receiver to end the connection (at most --hold, when
given). Ctrl-C stops every recorder after the packet under way.
)");
    struct Rule
    {
        const char* group;
        const char* name;
        const char* valueName;
        const char* help;
        Apply apply;
    };
    const auto count = [&](unsigned& target, const char* name, unsigned min, unsigned max) {
        return [&target, name, min, max](std::string_view v) {
            return setCount(target, name, v, min, max);
        };
    };
    const auto ms = [](std::chrono::milliseconds& target, const char* name, long long min) {
        return [&target, name, min](std::string_view v) { return setMs(target, name, v, min); };
    };
    const auto field = [&o](std::size_t index) {
        return [&o, index](std::string_view v) {
            o.device.fields[index] = std::string(v);
            return std::string();
        };
    };
    const char* connection = "Connection";
    const char* load = "Load runs";
    const char* what = "What to send, per recorder and round";
    const char* device = "Device information (seven fields; the key is serial + \"_\" + id)";
    const Rule rules[] = {
        {connection, "host", "NAME", "receiver host (default 127.0.0.1)",
         [&o](std::string_view v) {
             return setText(o.host, v, "--host needs a host name or address");
         }},
        {connection, "port", "N", "receiver port (default 9600)",
         [&o](std::string_view v) {
             unsigned port = 0;
             std::string e = setCount(port, "port", v, 1, 65535);
             o.port = static_cast<std::uint16_t>(port);
             return e;
         }},
        {connection, "bind", "ADDRESS",
         "connect from this local IPv4 address, as from another network (any 127.x.y.z here)",
         [&o](std::string_view v) {
             return setText(o.bindAddress, v, "--bind needs an IPv4 address");
         }},
        {connection, "recorders", "N",
         "recorders connected at once, each with its own key (default 1)",
         count(o.recorders, "recorders", 1, kMaxRecorders)},
        {connection, "ramp", "MS",
         "spread the recorders' connection starts evenly over MS (default 0)",
         ms(o.ramp, "ramp", 0)},
        {connection, "ack-timeout", "MS",
         "how long to wait for each acknowledgement (default 10000)",
         ms(o.ackTimeout, "ack-timeout", 1)},
        {load, "dials", "N", "connect attempts per recorder (default 1; see below)",
         count(o.dials, "dials", 1, kMaxCount)},
        {load, "dial-timeout", "MS", "how long one attempt waits for an answer (default 10000)",
         ms(o.dialTimeout, "dial-timeout", 1)},
        {load, "redial-delay", "MS", "pause before dialling again (default 1000)",
         ms(o.redialDelay, "redial-delay", 0)},
        {load, "hold", "MS", "stay connected and silent this long after the last packet",
         ms(o.hold, "hold", 0)},
        {load, "trickle", "MS", "send every packet one byte at a time, MS apart",
         ms(o.trickle, "trickle", 1)},
        {load, "trickle-bytes", "N", "with --trickle, send N bytes at a time instead of one",
         count(o.trickleBytes, "trickle-bytes", 1u, kMaxCount)},
        {what, "positions", "K", "GPRMC sentences along a route (default 10)",
         count(o.positions, "positions", 0, kMaxCount)},
        {what, "track", "FILE",
         "positions from an NMEA log instead: its $GPRMC and $GNRMC sentences in order",
         [&o](std::string_view v) { return setText(o.trackPath, v, "--track needs a file name"); }},
        {what, "events", "K", "event-time records (default 0)",
         count(o.events, "events", 0, kMaxCount)},
        {what, "event-bytes", "N",
         "make each event time N bytes of digits instead of a date, as a hostile peer does",
         count(o.eventBytes, "event-bytes", 1, kMaxEventBytes)},
        {what, "clip", "FILE", "send FILE as a clip packet",
         [&o](std::string_view v) { return setText(o.clipPath, v, "--clip needs a file name"); }},
        {what, "channel", "1|2|3|4|all",
         "camera channel of the clip, or all four in one picture (default 1)",
         [&o](std::string_view v) {
             const auto channel = parseClipChannel(v);
             if (!channel)
                 return "--channel must be 1, 2, 3, 4 or all, not \"" + std::string(v) + "\"";
             o.channel = *channel;
             return std::string();
         }},
        {what, "clips", "K", "clip packets (default 1)", count(o.clips, "clips", 1, kMaxCount)},
        {what, "repeat", "R", "rounds of positions, events and clips (default 1)",
         count(o.repeat, "repeat", 1, kMaxCount)},
        {what, "interval", "MS", "pause between packets of one recorder (default 0)",
         ms(o.interval, "interval", 0)},
        {device, "info", "T", "field 1", field(0)},
        {device, "serial", "T", "field 2", field(kSerialField)},
        {device, "address", "T", "field 3", field(2)},
        {device, "department", "T", "field 4", field(3)},
        {device, "user", "T", "field 5", field(4)},
        {device, "location", "T", "field 6", field(5)},
        {device, "id", "T", "field 7", field(kIdField)},
    };
    for (const auto& r : rules)
        toolcli::addValue(app, std::string("--") + r.name, r.valueName, r.help, r.apply)
            ->group(r.group);
    toolcli::addSwitch(app, "--no-ack", o.noAck,
                       "stream without waiting; check late acknowledgements at the end")
        ->group(connection);
    toolcli::addSwitch(app, "--never-read", o.neverRead,
                       "send every packet and never read an acknowledgement")
        ->group(load);
    toolcli::addSwitch(app, "--unfinished", o.unfinished,
                       "send each clip but its last byte, then wait silently as --never-read does")
        ->group(load);
    toolcli::addSwitch(app, "--quiet", o.quiet, "print the summary only")->group("Output");
}

} // namespace

ParsedOptions parseSimOptions(std::span<const std::string_view> args)
{
    ParsedOptions parsed;
    CLI::App app("", "recorder-sim");
    declare(app, parsed.options);
    static_cast<toolcli::ParseResult&>(parsed) = toolcli::parse(app, args);
    if (parsed.action != ParsedOptions::Action::Run)
        return parsed;
    const auto fail = [&](std::string text) {
        parsed.action = ParsedOptions::Action::Error;
        parsed.error = std::move(text);
        return parsed;
    };
    const SimOptions& o = parsed.options;
    for (const char* name : {"--channel", "--clips"})
        if (app.count(name) > 0 && o.clipPath.empty())
            return fail(std::string(name) + " needs --clip FILE");
    if (o.neverRead && (o.noAck || o.trickle.count() > 0))
        return fail("--never-read goes with neither --no-ack nor --trickle");
    if (o.unfinished && o.clipPath.empty())
        return fail("--unfinished needs --clip FILE");
    if (auto problem = deviceInfoProblem(o.device))
        return fail(std::move(*problem));
    return parsed;
}

std::string simUsage(std::string_view program)
{
    SimOptions unused;
    CLI::App app("", std::string(program));
    declare(app, unused);
    return app.help();
}

DeviceInfo deviceForRecorder(const SimOptions& options, unsigned index)
{
    DeviceInfo info = options.device;
    if (options.recorders > 1) {
        char number[16];
        std::snprintf(number, sizeof number, "-%0*u", static_cast<int>(kRecorderNumberWidth),
                      index + 1);
        info.fields[kSerialField] += number;
    }
    return info;
}

} // namespace recorder
