// The gateway at work with real peers: the program itself, a broker
// (mosquitto, or nats-server's MQTT listener), a subscriber as a station
// would be, and recorders over loopback. What a recorder had acknowledged
// reaches the archive and the subscribers, also across a SIGKILL; the fleet's
// retained states stay true across the gateway's restart and the broker's.
#include "FleetStates.h"
#include "FleetSubscriber.h"
#include "FleetTopics.h"
#include "GatewayProcess.h"
#include "GpsdHarness.h"
#include "MqttBrokerHarness.h"
#include "TempFolder.h"
#include "TestRecorder.h"
#include "kavrel_events.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

using namespace fleettest;
using namespace testsupport;
using namespace std::chrono_literals;
namespace Code = kavrel::EventCode;

namespace {

constexpr auto kWait = 20s;
constexpr std::string_view kPrefix = "tessaro/v1";
constexpr std::size_t kClipBytes = 5000;
// The settings' limit on clips published, and a clip above it.
constexpr std::size_t kMaxClipBytes = 8000;
constexpr std::size_t kLargeClipBytes = 9000;
// Positions sent back to back before the kill, so that some are still queued.
constexpr int kBurst = 40;

Bytes clipOf(std::size_t size)
{
    Bytes clip(size);
    for (std::size_t i = 0; i < size; ++i)
        clip[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return clip;
}

std::string eventTopic(const std::string& key, std::int32_t code)
{
    return fleet::recorderEventTopic(kPrefix, key, code);
}

// The gateway's state says online (or offline).
auto gatewayIs(const std::string& name, bool online)
{
    return [name, online](const Received& m) {
        if (m.topic != fleet::gatewayStateTopic(kPrefix, name))
            return false;
        const auto state = fleet::decodeGatewayState(m.payload);
        return state && state->online == online;
    };
}

std::optional<fleet::RecorderState> recorderState(const Received& m, const std::string& key,
                                                  const std::string& gateway)
{
    if (m.topic != fleet::recorderStateTopic(kPrefix, key, gateway))
        return std::nullopt;
    return fleet::decodeRecorderState(m.payload);
}

std::vector<std::string> sentences(std::size_t count)
{
    std::vector<std::string> rmc = capturedRmcSentences();
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        std::string sentence = rmc[i % rmc.size()];
        while (!sentence.empty() && sentence.back() == '\r')
            sentence.pop_back();
        out.push_back(sentence);
    }
    return out;
}

std::vector<std::string> gatewayArgs(std::uint16_t port, const std::string& broker,
                                     const std::string& data, const std::string& name)
{
    return {"--port", std::to_string(port), "--fleet", broker, "--data", data, "--name", name};
}

class GatewayFleetTest : public ::testing::TestWithParam<BrokerKind>
{
};

// Logins, positions, an event time and a clip reach the subscriber (a clip
// over the settings' limit is archived only); the gateway is killed right
// after an acknowledgement and started again: every acknowledged position is
// archived and published, the recorder's stale "online" is cleared; the
// recorder calls again and leaves: online, then offline with the same
// connection number; SIGTERM says goodbye.
TEST_P(GatewayFleetTest, EveryAcknowledgedEventReachesArchiveAndSubscribersAcrossAKill)
{
    TempFolder temp;
    MqttBrokerHarness broker(GetParam(), temp.path());
    FleetSubscriber subscriber(broker.clientUri(), std::string(kPrefix) + "/#");
    const std::string data = temp.path() + "data/";
    std::filesystem::create_directories(data);
    std::ofstream(data + "tessaro.ini") << "[Fleet]\nMAX_CLIP_BYTES=" << kMaxClipBytes << "\n";
    const std::uint16_t port = freePort();
    const std::string name = "gw-e2e";
    auto gateway = std::make_unique<GatewayProcess>(gatewayArgs(port, broker.url(), data, name));
    ASSERT_TRUE(gateway->waitLine("listening on port", kWait)) << gateway->lines();
    ASSERT_TRUE(subscriber.waitFor(gatewayIs(name, true), kWait)) << gateway->lines();

    TestRecorder rec("SN1");
    ASSERT_TRUE(rec.login(port));
    std::uint64_t firstConnection = 0;
    ASSERT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            const auto state = recorderState(m, rec.key(), name);
            if (!state || !state->online)
                return false;
            firstConnection = state->connection;
            return state->device == std::array<std::string, 7>{"QUVEX", "SN1",    "10.0.0.7",
                                                               "Fleet", "Driver", "Depot",
                                                               "ID"};
        },
        kWait));
    for (const std::string& sentence : sentences(3))
        ASSERT_TRUE(rec.position(sentence));
    const std::string eventTime = "2026/12/09 10:00:05,CH1";
    ASSERT_TRUE(rec.send(Code::CMD_QUVEX_TIME_EVENT, eventTime));
    const Bytes clip = clipOf(kClipBytes);
    ASSERT_TRUE(rec.send(Code::CMD_MPEG4_I_CH1, std::string(clip.begin(), clip.end())));
    const Bytes largeClip = clipOf(kLargeClipBytes);
    ASSERT_TRUE(rec.send(Code::CMD_MPEG4_I_CH2, std::string(largeClip.begin(), largeClip.end())));
    EXPECT_TRUE(gateway->waitLine("is archived, not published", kWait)) << gateway->lines();
    for (const std::string& sentence : rec.positions)
        EXPECT_TRUE(subscriber.waitFor(
            [&](const Received& m) {
                return m.topic == eventTopic(rec.key(), Code::CMD_GPRMC_DATA) &&
                       m.payload == sentence;
            },
            kWait));
    EXPECT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            return m.topic == eventTopic(rec.key(), Code::CMD_QUVEX_TIME_EVENT) &&
                   m.payload == eventTime;
        },
        kWait));
    EXPECT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            return m.topic == eventTopic(rec.key(), Code::CMD_MPEG4_I_CH1) &&
                   m.payload == std::string(clip.begin(), clip.end());
        },
        kWait));

    // Killed right after the last acknowledgement of a burst.
    for (const std::string& sentence : sentences(kBurst))
        ASSERT_TRUE(rec.position(sentence + "," + std::to_string(rec.positions.size())));
    gateway->kill();
    EXPECT_TRUE(subscriber.waitFor(gatewayIs(name, false), kWait)) << "the last will";
    const std::size_t afterKill = subscriber.count();

    gateway = std::make_unique<GatewayProcess>(gatewayArgs(port, broker.url(), data, name));
    ASSERT_TRUE(gateway->waitLine("listening on port", kWait)) << gateway->lines();
    EXPECT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            return m.topic == fleet::recorderStateTopic(kPrefix, rec.key(), name) &&
                   m.payload.empty();
        },
        kWait, afterKill))
        << "the stale online state is cleared\n"
        << gateway->lines();
    EXPECT_TRUE(subscriber.waitFor(gatewayIs(name, true), kWait, afterKill));
    // Every acknowledged position reaches the subscriber, before the kill or after the restart.
    for (const std::string& sentence : rec.positions)
        EXPECT_TRUE(subscriber.waitFor(
            [&](const Received& m) {
                return m.topic == eventTopic(rec.key(), Code::CMD_GPRMC_DATA) &&
                       m.payload == sentence;
            },
            kWait))
            << "not published: " << sentence << "\n"
            << gateway->lines();
    // And is archived.
    std::multiset<Bytes> positions, clips;
    archived(data, positions, clips);
    for (const std::string& sentence : rec.positions) {
        Bytes stored(sentence.begin(), sentence.end());
        stored.push_back('\r');
        stored.push_back('\n');
        EXPECT_TRUE(positions.contains(stored)) << "not archived: " << sentence;
    }
    for (Bytes stored : {clip, largeClip}) {
        stored.push_back(0);
        EXPECT_TRUE(clips.contains(stored)) << stored.size() << " bytes";
    }

    // The recorder calls again and leaves.
    const std::size_t beforeSecondLogin = subscriber.count();
    ASSERT_TRUE(rec.login(port));
    std::uint64_t secondConnection = 0;
    ASSERT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            const auto state = recorderState(m, rec.key(), name);
            if (!state || !state->online)
                return false;
            secondConnection = state->connection;
            return true;
        },
        kWait, beforeSecondLogin));
    EXPECT_GT(secondConnection, firstConnection);
    rec.connection.close();
    EXPECT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            const auto state = recorderState(m, rec.key(), name);
            return state && !state->online && state->connection == secondConnection;
        },
        kWait));

    EXPECT_EQ(gateway->stop(10s), 0) << gateway->lines();
    EXPECT_TRUE(subscriber.waitFor(gatewayIs(name, false), kWait)) << "the goodbye";
    for (const Received& m : subscriber.received())
        EXPECT_NE(m.topic, eventTopic(rec.key(), Code::CMD_MPEG4_I_CH2)) << "a clip over the limit";
}

INSTANTIATE_TEST_SUITE_P(Brokers, GatewayFleetTest,
                         ::testing::Values(BrokerKind::Mosquitto, BrokerKind::NatsServer),
                         [](const auto& test) {
                             return test.param == BrokerKind::Mosquitto ? "Mosquitto"
                                                                        : "NatsServer";
                         });

} // namespace
