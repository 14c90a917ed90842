// The fleet's names and messages come from any client of the broker: every
// name reads back as what made it, anything else is refused, and the roster
// lets no late or forged state hide a recorder's newest login.
#include "BrokerAddress.h"
#include "FleetRoster.h"
#include "FleetStates.h"
#include "FleetTopics.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace fleet {
namespace {

const std::string kPrefix(kDefaultPrefix);

TEST(FleetTopics, EveryNameMadeReadsBackAndNoOtherTopicIsRead)
{
    struct Case
    {
        const char* legend;
        std::string topic;
        std::optional<FleetTopic> expected;
    };
    const std::string longKey(kMaxNameBytes, 'k');
    const Case cases[] = {
        {"gateway state", gatewayStateTopic(kPrefix, "gw-1"),
         FleetTopic{TopicKind::GatewayState, "gw-1", "", 0}},
        {"plain key", recorderStateTopic(kPrefix, "Oregon_3", "gw-1"),
         FleetTopic{TopicKind::RecorderState, "gw-1", "Oregon_3", 0}},
        {"key with separators, wildcards, 1252 and zero bytes",
         recorderStateTopic(kPrefix, std::string("a/+#%\xE9\0z", 8), "g w"),
         FleetTopic{TopicKind::RecorderState, "g w", std::string("a/+#%\xE9\0z", 8), 0}},
        {"longest key", recorderEventTopic(kPrefix, longKey, 0x0002),
         FleetTopic{TopicKind::RecorderEvent, "", longKey, 0x0002}},
        {"clip code", recorderEventTopic(kPrefix, "k", 0x0104),
         FleetTopic{TopicKind::RecorderEvent, "", "k", 0x0104}},
        {"other prefix", "other/v1/gateway/gw/state", std::nullopt},
        {"prefix without separator", kPrefix + "x/gateway/gw/state", std::nullopt},
        {"lower-case escape", kPrefix + "/recorder/a%2fb/event/0002", std::nullopt},
        {"escape of a byte that stays", kPrefix + "/recorder/%41/event/0002", std::nullopt},
        {"cut escape", kPrefix + "/recorder/a%2/event/0002", std::nullopt},
        {"raw byte that must be escaped", kPrefix + "/recorder/a b/event/0002", std::nullopt},
        {"empty level", kPrefix + "/recorder//state/gw", std::nullopt},
        {"key too long", kPrefix + "/recorder/" + longKey + "k/event/0002", std::nullopt},
        {"code of three digits", kPrefix + "/recorder/k/event/002", std::nullopt},
        {"lower-case code", kPrefix + "/recorder/k/event/00f0", std::nullopt},
        {"extra level", kPrefix + "/recorder/k/event/0002/x", std::nullopt},
        {"unknown kind", kPrefix + "/recorder/k/clip/0002", std::nullopt},
        {"wildcard filter as topic", allRecorderStatesFilter(kPrefix), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const auto parsed = parseTopic(kPrefix, c.topic);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.topic;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->kind, c.expected->kind);
        EXPECT_EQ(parsed->gateway, c.expected->gateway);
        EXPECT_EQ(parsed->recorderKey, c.expected->recorderKey);
        EXPECT_EQ(parsed->code, c.expected->code);
    }
    EXPECT_FALSE(topicLevel(""));
    EXPECT_FALSE(topicLevel(longKey + "k"));
}

TEST(FleetStates, ReadBackWhatWasWrittenAndRefuseEverythingElse)
{
    RecorderState state{true, "gw-1", 1765274400123456u, "2026/12/09 10:00:05", "10.0.0.7", {}};
    state.device = {"a", "Oregon_3", "10.0.0.7", "\xE9t\xE9", "", "5", std::string("x\x81y")};
    const auto read = decodeRecorderState(encodeRecorderState(state));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->device, state.device);
    EXPECT_EQ(read->connection, state.connection);
    EXPECT_EQ(read->gateway, "gw-1");
    EXPECT_TRUE(read->online);

    const auto gateway =
        decodeGatewayState(encodeGatewayState({false, "gw-2", "2026/12/09 10:00:00"}));
    ASSERT_TRUE(gateway);
    EXPECT_FALSE(gateway->online);
    EXPECT_EQ(gateway->gateway, "gw-2");

    const std::string device = R"("device":["","","","","","",""])";
    const char* refused[] = {
        "",
        "not json",
        "[1,2]",
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":1})",
        R"({"state":"away","gateway":"g","since":"t","address":"a","connection":1,)",
        R"({"state":"online","gateway":"","since":"t","address":"a","connection":1,"device":["","","","","","",""]})",
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":-1,"device":["","","","","","",""]})",
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":1.5,"device":["","","","","","",""]})",
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":1,"device":["","","","","",""]})",
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":1,"device":["","","","","","",7]})",
    };
    for (const char* text : refused)
        EXPECT_FALSE(decodeRecorderState(text)) << text;
    EXPECT_TRUE(decodeRecorderState(
        R"({"state":"online","gateway":"g","since":"t","address":"a","connection":1,)" + device +
        "}"));
    EXPECT_FALSE(decodeRecorderState(std::string(kMaxStateBytes + 1, ' ')));
    EXPECT_FALSE(decodeGatewayState(R"({"state":"online","gateway":"g"})"));
}

RecorderState recorder(bool online, const std::string& gateway, std::uint64_t connection)
{
    RecorderState state;
    state.online = online;
    state.gateway = gateway;
    state.connection = connection;
    state.device[1] = "bus";
    return state;
}

GatewayState gateway(bool online, const std::string& name)
{
    return {online, name, "2026/12/09 10:00:00"};
}

TEST(FleetRoster, TheNewestLoginOnAnOnlineGatewaySpeaksForTheRecorder)
{
    FleetRoster roster(3);
    struct Step
    {
        const char* legend;
        std::function<bool(FleetRoster&)> apply;
        bool taken;
        std::optional<std::string> onlineAt; // the gateway the recorder is online at
    };
    const Step steps[] = {
        {"online before its gateway is known",
         [](auto& r) { return r.applyRecorderState("bus", "A", recorder(true, "A", 10)); }, true,
         std::nullopt},
        {"gateway A comes", [](auto& r) { return r.applyGatewayState("A", gateway(true, "A")); },
         true, "A"},
        {"state whose message names another gateway",
         [](auto& r) { return r.applyRecorderState("bus", "A", recorder(false, "B", 99)); }, false,
         "A"},
        {"gateway A dies: its will",
         [](auto& r) { return r.applyGatewayState("A", gateway(false, "A")); }, true, std::nullopt},
        {"the recorder dials again through B",
         [](auto& r) {
             return r.applyGatewayState("B", gateway(true, "B")) &&
                    r.applyRecorderState("bus", "B", recorder(true, "B", 20));
         },
         true, "B"},
        {"A comes back and tells its old connection ended",
         [](auto& r) {
             return r.applyGatewayState("A", gateway(true, "A")) &&
                    r.applyRecorderState("bus", "A", recorder(false, "A", 10));
         },
         true, "B"},
        {"the recorder leaves B",
         [](auto& r) { return r.applyRecorderState("bus", "B", recorder(false, "B", 20)); }, true,
         std::nullopt},
        {"beyond the bound",
         [](auto& r) {
             return r.applyRecorderState("x", "A", recorder(true, "A", 1)) &&
                    r.applyRecorderState("y", "A", recorder(true, "A", 1));
         },
         false, std::nullopt},
        {"a cleared retained state frees its room",
         [](auto& r) {
             return r.applyRecorderState("bus", "A", std::nullopt) &&
                    r.applyRecorderState("y", "A", recorder(true, "A", 1));
         },
         true, std::nullopt},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.legend);
        EXPECT_EQ(step.apply(roster), step.taken);
        const auto state = roster.onlineState("bus");
        EXPECT_EQ(state ? std::optional<std::string>(state->gateway) : std::nullopt, step.onlineAt);
    }
    const auto online = roster.onlineRecorders();
    ASSERT_EQ(online.size(), 2u);
    EXPECT_EQ(online[0].first, "x");
    EXPECT_EQ(online[1].first, "y");
}

TEST(BrokerAddress, TakesTheFormsClientsWriteAndSaysWhatIsWrongWithOthers)
{
    struct Case
    {
        const char* text;
        const char* uri;   // as the client library takes it; empty when refused
        const char* error; // a part of the line that tells what is wrong
    };
    const Case cases[] = {
        {"mqtt://localhost:1884", "tcp://localhost:1884", ""},
        {"mqtt://broker.example", "tcp://broker.example:1883", ""},
        {"tcp://127.0.0.1:1883/", "tcp://127.0.0.1:1883", ""},
        {"mqtt://[::1]:1885", "tcp://[::1]:1885", ""},
        {"localhost:1883", "", "not of the form mqtt://HOST:PORT"},
        {"http://localhost:1883", "", "not of the form"},
        {"mqtt://:1883", "", "names no host"},
        {"mqtt://host:", "", "empty port"},
        {"mqtt://host:0", "", "not one of 1 to 65535"},
        {"mqtt://host:65536", "", "not one of 1 to 65535"},
        {"mqtt://host:12ab", "", "not one of 1 to 65535"},
        {"mqtt://ho st:1883", "", "character that no host name holds"},
        {"mqtt://[::1:1883", "", "does not close it"},
        {"mqtt://[zz]:1883", "", "no valid IPv6 address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parseBrokerAddress(c.text);
        if (*c.uri != '\0') {
            ASSERT_TRUE(std::holds_alternative<BrokerAddress>(parsed))
                << std::get<std::string>(parsed);
            EXPECT_EQ(std::get<BrokerAddress>(parsed).clientUri(), c.uri);
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
            EXPECT_NE(std::get<std::string>(parsed).find(c.error), std::string::npos)
                << std::get<std::string>(parsed);
        }
    }
}

} // namespace
} // namespace fleet
