// The simulator's command line: what it accepts, and a clear word for what it does not.
#include "SimOptions.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace recorder;

namespace {

ParsedOptions parse(std::initializer_list<std::string_view> args)
{
    const std::vector<std::string_view> v(args);
    return parseSimOptions(v);
}

struct ErrorCase
{
    const char* legend;
    std::vector<std::string_view> args;
    const char* mentions; // a fragment the message must hold
};

const ErrorCase kErrors[] = {
    {"unknown option", {"--colour"}, "unknown option --colour"},
    {"stray argument", {"9600"}, "unexpected argument"},
    {"value missing at the end", {"--port"}, "--port needs a value"},
    {"port zero", {"--port", "0"}, "1 to 65535"},
    {"port too large", {"--port=65536"}, "1 to 65535"},
    {"port not a number", {"--port", "96OO"}, "\"96OO\""},
    {"negative count", {"--positions", "-1"}, "--positions"},
    {"no recorders", {"--recorders", "0"}, "--recorders"},
    {"channel out of range", {"--clip", "f", "--channel", "5"}, "1, 2, 3, 4 or all"},
    {"channel without a clip", {"--channel", "2"}, "needs --clip"},
    {"clip count without a clip", {"--clips", "3"}, "needs --clip"},
    {"flag given a value", {"--quiet=yes"}, "takes no value"},
    {"comma in the serial", {"--serial", "A,B"}, "field 2"},
    {"interval with a unit", {"--interval", "10ms"}, "--interval"},
    {"empty host", {"--host="}, "--host"},
};

} // namespace

TEST(SimOptions, RejectsBadCommandLines)
{
    for (const auto& c : kErrors) {
        const auto parsed = parseSimOptions(c.args);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Error) << c.legend;
        EXPECT_NE(parsed.error.find(c.mentions), std::string::npos)
            << c.legend << ": " << parsed.error;
    }
}

TEST(SimOptions, DefaultsAndValues)
{
    const auto defaults = parse({});
    ASSERT_EQ(defaults.action, ParsedOptions::Action::Run);
    EXPECT_EQ(defaults.options.host, "127.0.0.1");
    EXPECT_EQ(defaults.options.port, 9600);
    EXPECT_EQ(defaults.options.recorders, 1u);

    const auto p = parse({"--host", "station", "--port=9700", "--recorders", "200", "--positions",
                          "99", "--clip", "c.mp4", "--channel", "all", "--interval", "20", "--ramp",
                          "1000", "--no-ack", "--id", "7,8"});
    ASSERT_EQ(p.action, ParsedOptions::Action::Run) << p.error;
    EXPECT_EQ(p.options.host, "station");
    EXPECT_EQ(p.options.port, 9700);
    EXPECT_EQ(p.options.recorders, 200u);
    EXPECT_EQ(p.options.positions, 99u);
    EXPECT_EQ(p.options.clipPath, "c.mp4");
    EXPECT_EQ(p.options.channel, ClipChannel::All);
    EXPECT_EQ(p.options.interval, std::chrono::milliseconds(20));
    EXPECT_EQ(p.options.ramp, std::chrono::milliseconds(1000));
    EXPECT_TRUE(p.options.noAck);
    EXPECT_EQ(p.options.device.fields[kIdField], "7,8");

    EXPECT_EQ(parse({"--positions", "1", "--help"}).action, ParsedOptions::Action::Help);
}

TEST(SimOptions, EveryRecorderGetsItsOwnKey)
{
    const auto many = parse({"--recorders", "300", "--serial", "BUS", "--id", "9"});
    ASSERT_EQ(many.action, ParsedOptions::Action::Run);
    std::set<std::string> keys;
    for (unsigned i = 0; i < 300; ++i)
        keys.insert(deviceKey(deviceForRecorder(many.options, i)));
    EXPECT_EQ(keys.size(), 300u);
    EXPECT_EQ(deviceKey(deviceForRecorder(many.options, 0)), "BUS-0001_9");

    const auto one = parse({"--serial", "BUS"});
    EXPECT_EQ(deviceKey(deviceForRecorder(one.options, 0)), "BUS_1")
        << "a single recorder keeps its serial";
}
