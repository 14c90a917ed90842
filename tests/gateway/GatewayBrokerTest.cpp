// The gateway while its broker is away or cannot be reached: receiving and
// archiving go on, every acknowledgement comes as before, the gateway tells it
// once and tries again, and once the broker is back the retained states are
// whole again.
#include "FleetStates.h"
#include "FleetSubscriber.h"
#include "FleetTopics.h"
#include "GatewayProcess.h"
#include "MqttBrokerHarness.h"
#include "TempFolder.h"
#include "TestRecorder.h"
#include "kavrel_events.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace fleettest;
using namespace testsupport;
using namespace std::chrono_literals;
namespace Code = kavrel::EventCode;

namespace {

constexpr auto kWait = 20s;
// A recorder's acknowledgement while the broker is away comes as fast as ever.
constexpr auto kPromptAck = 2s;
constexpr std::string_view kPrefix = "tessaro/v1";
// How often a wait for the archive looks at it.
constexpr auto kArchivePoll = 20ms;

// Waits until the archive holds count position files: an acknowledgement
// means journaled, and the archive follows a moment later.
::testing::AssertionResult archivesPositions(const std::string& data, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    std::size_t found = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        std::multiset<Bytes> positions, clips;
        archived(data, positions, clips);
        found = positions.size();
        if (found == count)
            return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(kArchivePoll);
    }
    return ::testing::AssertionFailure() << found << " position files, not " << count;
}

// The gateway and the recorder online; with retainedOnly, as the broker keeps
// them (a subscriber that comes later sees them), else also as they are published.
bool online(FleetSubscriber& subscriber, const std::string& gateway, const std::string& key,
            bool retainedOnly)
{
    const bool gatewayOnline = subscriber.waitFor(
        [&](const Received& m) {
            const auto state = fleet::decodeGatewayState(m.payload);
            return (m.retained || !retainedOnly) &&
                   m.topic == fleet::gatewayStateTopic(kPrefix, gateway) && state && state->online;
        },
        kWait);
    const bool recorderOnline = subscriber.waitFor(
        [&](const Received& m) {
            const auto state = fleet::decodeRecorderState(m.payload);
            return (m.retained || !retainedOnly) &&
                   m.topic == fleet::recorderStateTopic(kPrefix, key, gateway) && state &&
                   state->online;
        },
        kWait);
    return gatewayOnline && recorderOnline;
}

// The broker stops and starts again without its retained messages: the
// gateway goes on acknowledging and archiving, tells the loss and the return
// once each, and publishes its states again.
TEST(GatewayBrokerTest, BrokerAwayAndBackLeavesReceivingAloneAndRetainedStatesWhole)
{
    TempFolder temp;
    MqttBrokerHarness broker(BrokerKind::Mosquitto, temp.path());
    const std::string data = temp.path() + "data/";
    std::filesystem::create_directories(data);
    const std::uint16_t port = freePort();
    GatewayProcess gateway({"--port", std::to_string(port), "--fleet", broker.url(), "--data", data,
                            "--name", "gw-away"});
    ASSERT_TRUE(gateway.waitLine("listening on port", kWait)) << gateway.lines();
    TestRecorder rec("SN9");
    ASSERT_TRUE(rec.login(port));
    {
        FleetSubscriber before(broker.clientUri(), std::string(kPrefix) + "/#");
        ASSERT_TRUE(online(before, "gw-away", rec.key(), false));
    }

    broker.stop();
    ASSERT_TRUE(gateway.waitLine("lost the broker", kWait)) << gateway.lines();
    constexpr int kAway = 10;
    for (int i = 0; i < kAway; ++i)
        ASSERT_TRUE(rec.position("$GPRMC,away," + std::to_string(i), kPromptAck));
    EXPECT_TRUE(archivesPositions(data, kAway));

    broker.start();
    ASSERT_TRUE(gateway.waitLine("is back", kWait)) << gateway.lines();
    FleetSubscriber after(broker.clientUri(), std::string(kPrefix) + "/#");
    EXPECT_TRUE(online(after, "gw-away", rec.key(), false)) << gateway.lines();
    {
        // The broker came back empty: what a newcomer sees, the gateway put back.
        FleetSubscriber newcomer(broker.clientUri(), std::string(kPrefix) + "/#");
        EXPECT_TRUE(online(newcomer, "gw-away", rec.key(), true));
    }
    ASSERT_TRUE(rec.position("$GPRMC,back"));
    EXPECT_TRUE(after.waitFor(
        [&](const Received& m) {
            return m.topic == fleet::recorderEventTopic(kPrefix, rec.key(), Code::CMD_GPRMC_DATA) &&
                   m.payload == "$GPRMC,back";
        },
        kWait));
    EXPECT_EQ(gateway.stop(10s), 0) << gateway.lines();
    // Told once per connection, not once per attempt.
    EXPECT_GE(gateway.countLines("lost the broker"), 1) << gateway.lines();
    EXPECT_LE(gateway.countLines("lost the broker"), 2) << gateway.lines();
    EXPECT_EQ(gateway.countLines("cannot reach the broker"), 0) << gateway.lines();
}

// A broker address that is wrong or cannot be reached: one line at once, and
// never a hang. One that can be read but not reached is tried again while
// the gateway receives and archives; once a broker listens there, the
// gateway connects.
TEST(GatewayBrokerTest, WrongOrUnreachableBrokerGivesOneLineAndRetries)
{
    struct Case
    {
        const char* legend;
        std::string fleet; // "{PORT}": a port nothing listens on yet
        bool refused;      // the address cannot be read: exit 2
        bool brokerLater;  // a broker starts on {PORT} afterwards
    };
    const Case cases[] = {
        {"another scheme is refused at once", "http://127.0.0.1:1883", true, false},
        {"a port is a number up to 65535", "mqtt://127.0.0.1:99999", true, false},
        {"nothing listens on the port yet", "mqtt://127.0.0.1:{PORT}", false, true},
        {"a host name that does not resolve", "mqtt://no-such-host.invalid:1883", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder temp;
        const std::string data = temp.path() + "data/";
        std::filesystem::create_directories(data);
        const std::uint16_t brokerPort = freePort();
        std::string fleet = c.fleet;
        if (const auto at = fleet.find("{PORT}"); at != std::string::npos)
            fleet.replace(at, 6, std::to_string(brokerPort));
        const std::uint16_t port = freePort();
        GatewayProcess gateway(
            {"--port", std::to_string(port), "--fleet", fleet, "--data", data, "--name", "gw-bad"});
        if (c.refused) {
            EXPECT_TRUE(gateway.process().waitExit(kWait));
            EXPECT_EQ(gateway.process().exitCode(), 2);
            EXPECT_TRUE(gateway.waitLine("--fleet", kWait)) << gateway.lines();
            continue;
        }
        ASSERT_TRUE(gateway.waitLine("cannot reach the broker", kWait)) << gateway.lines();
        ASSERT_TRUE(gateway.waitLine("listening on port", kWait)) << gateway.lines();
        TestRecorder rec("SN9");
        ASSERT_TRUE(rec.login(port));
        ASSERT_TRUE(rec.position("$GPRMC,nobroker", kPromptAck));
        EXPECT_TRUE(archivesPositions(data, 1));
        if (c.brokerLater) {
            MqttBrokerHarness broker(BrokerKind::Mosquitto, temp.path(), brokerPort);
            EXPECT_TRUE(gateway.waitLine("connected to the broker", kWait)) << gateway.lines();
            FleetSubscriber subscriber(broker.clientUri(), std::string(kPrefix) + "/#");
            EXPECT_TRUE(online(subscriber, "gw-bad", rec.key(), false)) << gateway.lines();
        }
        EXPECT_EQ(gateway.stop(10s), 0) << gateway.lines();
        // Told once per connection, not once per attempt.
        EXPECT_GE(gateway.countLines("cannot reach the broker"), 1) << gateway.lines();
        EXPECT_LE(gateway.countLines("cannot reach the broker"), 2) << gateway.lines();
    }
}

} // namespace
