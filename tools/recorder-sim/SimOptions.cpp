#include "SimOptions.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>

namespace recorder {

namespace {

constexpr unsigned kMaxRecorders = 10000;
constexpr unsigned kMaxCount = 100000000;
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

struct OptionRule
{
    std::string_view name;
    bool takesValue;
    // Applies the value; returns an error text, or an empty one when it fits.
    std::function<std::string(SimOptions&, std::string_view)> apply;
};

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

auto deviceField(std::size_t index)
{
    return [index](SimOptions& o, std::string_view v) {
        o.device.fields[index] = std::string(v);
        return std::string();
    };
}

const std::vector<OptionRule>& optionRules()
{
    static const std::vector<OptionRule> rules = {
        {"host", true,
         [](SimOptions& o, std::string_view v) {
             if (v.empty())
                 return std::string("--host needs a host name or address");
             o.host = std::string(v);
             return std::string();
         }},
        {"port", true,
         [](SimOptions& o, std::string_view v) {
             unsigned port = 0;
             std::string e = setCount(port, "port", v, 1, 65535);
             o.port = static_cast<std::uint16_t>(port);
             return e;
         }},
        {"recorders", true,
         [](SimOptions& o, std::string_view v) {
             return setCount(o.recorders, "recorders", v, 1, kMaxRecorders);
         }},
        {"positions", true,
         [](SimOptions& o, std::string_view v) {
             return setCount(o.positions, "positions", v, 0, kMaxCount);
         }},
        {"events", true,
         [](SimOptions& o, std::string_view v) {
             return setCount(o.events, "events", v, 0, kMaxCount);
         }},
        {"track", true,
         [](SimOptions& o, std::string_view v) {
             if (v.empty())
                 return std::string("--track needs a file name");
             o.trackPath = std::string(v);
             return std::string();
         }},
        {"clip", true,
         [](SimOptions& o, std::string_view v) {
             if (v.empty())
                 return std::string("--clip needs a file name");
             o.clipPath = std::string(v);
             return std::string();
         }},
        {"channel", true,
         [](SimOptions& o, std::string_view v) {
             const auto channel = parseClipChannel(v);
             if (!channel)
                 return "--channel must be 1, 2, 3, 4 or all, not \"" + std::string(v) + "\"";
             o.channel = *channel;
             return std::string();
         }},
        {"clips", true,
         [](SimOptions& o, std::string_view v) {
             return setCount(o.clips, "clips", v, 1, kMaxCount);
         }},
        {"repeat", true,
         [](SimOptions& o, std::string_view v) {
             return setCount(o.repeat, "repeat", v, 1, kMaxCount);
         }},
        {"interval", true,
         [](SimOptions& o, std::string_view v) { return setMs(o.interval, "interval", v, 0); }},
        {"ramp", true,
         [](SimOptions& o, std::string_view v) { return setMs(o.ramp, "ramp", v, 0); }},
        {"ack-timeout", true,
         [](SimOptions& o, std::string_view v) {
             return setMs(o.ackTimeout, "ack-timeout", v, 1);
         }},
        {"no-ack", false,
         [](SimOptions& o, std::string_view) {
             o.noAck = true;
             return std::string();
         }},
        {"quiet", false,
         [](SimOptions& o, std::string_view) {
             o.quiet = true;
             return std::string();
         }},
        {"info", true, deviceField(0)},
        {"serial", true, deviceField(kSerialField)},
        {"address", true, deviceField(2)},
        {"department", true, deviceField(3)},
        {"user", true, deviceField(4)},
        {"location", true, deviceField(5)},
        {"id", true, deviceField(kIdField)},
    };
    return rules;
}

} // namespace

ParsedOptions parseSimOptions(std::span<const std::string_view> args)
{
    ParsedOptions parsed;
    const auto fail = [&](std::string text) {
        parsed.action = ParsedOptions::Action::Error;
        parsed.error = std::move(text);
        return parsed;
    };
    bool channelGiven = false;
    bool clipsGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.action = ParsedOptions::Action::Help;
            return parsed;
        }
        if (!arg.starts_with("--"))
            return fail("unexpected argument \"" + std::string(arg) + "\"");
        std::string_view name = arg.substr(2);
        std::optional<std::string_view> value;
        if (const auto eq = name.find('='); eq != std::string_view::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const OptionRule* rule = nullptr;
        for (const auto& s : optionRules())
            if (s.name == name)
                rule = &s;
        if (rule == nullptr)
            return fail("unknown option --" + std::string(name));
        if (rule->takesValue && !value) {
            if (i + 1 >= args.size())
                return fail("--" + std::string(name) + " needs a value");
            value = args[++i];
        }
        if (!rule->takesValue && value)
            return fail("--" + std::string(name) + " takes no value");
        if (std::string e = rule->apply(parsed.options, value.value_or("")); !e.empty())
            return fail(std::move(e));
        channelGiven = channelGiven || name == "channel";
        clipsGiven = clipsGiven || name == "clips";
    }
    if ((channelGiven || clipsGiven) && parsed.options.clipPath.empty())
        return fail(std::string(channelGiven ? "--channel" : "--clips") + " needs --clip FILE");
    if (auto problem = deviceInfoProblem(parsed.options.device))
        return fail(std::move(*problem));
    return parsed;
}

std::string simUsage(std::string_view program)
{
    std::string text = "Usage: " + std::string(program) + " [options]\n";
    text += R"(
Connects one or more simulated recorders to a receiver, sends each one's device
information, then position sentences, event-time records and clips, and checks
every acknowledgement. Exits 0 when every packet was acknowledged correctly,
1 when any acknowledgement was missing or wrong or a connection failed, 2 on
bad options.

Connection:
  --host NAME          receiver host (default 127.0.0.1)
  --port N             receiver port (default 9600)
  --recorders N        recorders connected at once, each with its own key (default 1)
  --ramp MS            spread the recorders' connection starts evenly over MS
                       (default 0: all at once; a receiver with a short listen
                       backlog then completes some handshakes only after the
                       kernel's SYN-ACK retries, seconds later)
  --ack-timeout MS     how long to wait for each acknowledgement (default 10000)
  --no-ack             stream every packet without waiting; then close the sending
                       side and check whatever acknowledgements arrive before the
                       receiver closes (none from a plain TCP sink)
What to send, per recorder and round:
  --positions K        GPRMC sentences along a route (default 10)
  --track FILE         positions from an NMEA log instead: its $GPRMC and $GNRMC
                       sentences in order, from the start again when used up
  --events K           event-time records (default 0)
  --clip FILE          send FILE as a clip packet
  --channel 1|2|3|4|all  camera channel of the clip, or all four in one picture (default 1)
  --clips K            clip packets (default 1)
  --repeat R           rounds of positions, events and clips (default 1)
  --interval MS        pause between packets of one recorder (default 0)
Device information (seven fields; the key is serial + "_" + id):
  --info T --serial T --address T --department T --user T --location T --id T
                       (with several recorders the serial gets "-0001", "-0002", ...)
Output:
  --quiet              print the summary only
  --help               this text
)";
    return text;
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
