// Whole simulated recorders against the in-test receiver: what they send, in
// which order, and how they count acknowledgements, faults and bytes.
#include "RecorderSession.h"

#include "NmeaChecksum.h"
#include "PacketBytes.h"
#include "TestAckServer.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace recorder;
using namespace std::chrono_literals;

namespace {

constexpr auto kTestTimeout = 5000ms;

SimOptions optionsFor(const TestAckServer& server)
{
    SimOptions o;
    o.port = server.port();
    o.positions = 3;
    o.events = 2;
    o.clips = 1;
    o.channel = ClipChannel::All;
    o.repeat = 2;
    o.ackTimeout = kTestTimeout;
    o.device = DeviceInfo{{"I", "BUS", "A", "D", "U", "L", "7"}};
    return o;
}

const Bytes kClip(1000, 0x5A);
constexpr std::uint64_t kPackets = 1 + 2 * (3 + 2 + 1);

} // namespace

TEST(RecorderSession, SendsDeviceInformationThenEachRoundInOrder)
{
    TestAckServer server(TestAckServer::Mode::Ack);
    const SimOptions options = optionsFor(server);
    const SessionReport report = RecorderSession(options, 0, kClip).run({});

    EXPECT_TRUE(report.connected);
    EXPECT_EQ(report.key, "BUS_7");
    EXPECT_EQ(report.errors, 0u) << (report.errorTexts.empty() ? "" : report.errorTexts[0]);
    EXPECT_EQ(report.packetsSent, kPackets);
    EXPECT_EQ(report.acksChecked, kPackets);
    EXPECT_EQ(report.roundTrips.count(), kPackets);
    EXPECT_EQ(report.clipBytes, 2 * (8 + kClip.size()));

    const auto packets = server.packets();
    ASSERT_EQ(packets.size(), kPackets);
    EXPECT_EQ(report.bytesSent, server.bytesReceived());
    const std::vector<std::uint16_t> round = {2, 2, 2, 6, 6, 240};
    std::vector<std::uint16_t> expected = {0};
    expected.insert(expected.end(), round.begin(), round.end());
    expected.insert(expected.end(), round.begin(), round.end());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].command, expected[i]) << "packet " << i;
        const std::string text(packets[i].payload.begin(), packets[i].payload.end());
        if (packets[i].command == 2) {
            EXPECT_TRUE(nmea::hasValidNmeaChecksum(text)) << text;
        }
        if (packets[i].command == 6) {
            EXPECT_EQ(text.find(','), 19u) << "event time first: " << text;
        }
    }
    const auto& info = packets[0].payload;
    EXPECT_EQ(std::string(info.begin(), info.end()), "I,BUS,A,D,U,L,7");
    EXPECT_EQ(packets.back().payload, kClip);
}

TEST(RecorderSession, StopsAtTheFirstWrongAcknowledgement)
{
    // The wrong acknowledgement swaps the command's bytes: right for command 0
    // (00 00), wrong for the first position sentence.
    TestAckServer server(TestAckServer::Mode::WrongAck);
    const SessionReport report = RecorderSession(optionsFor(server), 0, kClip).run({});
    EXPECT_EQ(report.packetsSent, 2u);
    EXPECT_EQ(report.acksChecked, 1u);
    EXPECT_EQ(report.errors, 1u);
    ASSERT_EQ(report.errorTexts.size(), 1u);
    EXPECT_NE(report.errorTexts[0].find("BUS_7"), std::string::npos) << report.errorTexts[0];
}

TEST(RecorderSession, WithoutWaitingForAcks)
{
    struct Case
    {
        const char* legend;
        TestAckServer::Mode mode;
        std::uint64_t acksChecked;
    };
    const Case cases[] = {
        {"plain sink: nothing comes back, nothing is wrong", TestAckServer::Mode::Sink, 0},
        {"receiver that acks: every late ack is checked", TestAckServer::Mode::Ack, kPackets},
    };
    for (const auto& c : cases) {
        TestAckServer server(c.mode);
        SimOptions options = optionsFor(server);
        options.noAck = true;
        const SessionReport report = RecorderSession(options, 0, kClip).run({});
        EXPECT_EQ(report.errors, 0u)
            << c.legend << ": " << (report.errorTexts.empty() ? "" : report.errorTexts[0]);
        EXPECT_EQ(report.packetsSent, kPackets) << c.legend;
        EXPECT_EQ(report.acksChecked, c.acksChecked) << c.legend;
        EXPECT_EQ(server.bytesReceived(), report.bytesSent) << c.legend;
        EXPECT_GT(report.clipTime.count(), 0) << c.legend;
    }
}

TEST(RecorderSession, ReportsARefusedConnection)
{
    std::uint16_t port = 0;
    {
        TestAckServer gone(TestAckServer::Mode::Ack);
        port = gone.port();
    }
    SimOptions options;
    options.port = port;
    const SessionReport report = RecorderSession(options, 0, {}).run({});
    EXPECT_FALSE(report.connected);
    EXPECT_EQ(report.errors, 1u);
    EXPECT_EQ(report.packetsSent, 0u);
}

TEST(RecorderSession, DialsAgainAsARecorderDoesAndCanTrickle)
{
    struct Case
    {
        const char* legend;
        TestAckServer::Mode mode;
        unsigned dials;
        std::chrono::milliseconds trickle;
        unsigned expectedDials, expectedFailedDials;
        bool served;
        std::uint64_t errors;
    };
    const Case cases[] = {
        {"served at the first dial", TestAckServer::Mode::Ack, 3, 0ms, 1, 0, true, 0},
        {"every connection ends before the login is acknowledged",
         TestAckServer::Mode::CloseWithoutAck, 3, 0ms, 3, 2, false, 1},
        {"one byte at a time still makes whole packets", TestAckServer::Mode::Ack, 1, 1ms, 1, 0,
         true, 0},
    };
    for (const auto& c : cases) {
        TestAckServer server(c.mode);
        SimOptions options = optionsFor(server);
        options.positions = 1;
        options.events = 0;
        options.repeat = 1;
        options.dials = c.dials;
        options.redialDelay = 0ms;
        options.trickle = c.trickle;
        const SessionReport report = RecorderSession(options, 0, {}).run({});
        EXPECT_EQ(report.dials, c.expectedDials) << c.legend;
        EXPECT_EQ(report.failedDials, c.expectedFailedDials) << c.legend;
        EXPECT_EQ(report.servedAt.has_value(), c.served) << c.legend;
        EXPECT_EQ(report.errors, c.errors) << c.legend;
        if (c.served) {
            EXPECT_EQ(report.acksChecked, 2u) << c.legend;
            EXPECT_EQ(server.packets().size(), 2u) << c.legend;
        }
    }
}

TEST(RecorderSession, ReplayedPositionsCarryTheTimeTheyAreSent)
{
    // Each packet after the login waits the interval first; a sentence made
    // before that wait would be an interval old when it leaves.
    constexpr auto kInterval = 300ms;
    constexpr auto kClockGrain = 1ms; // the sentence's time is cut to milliseconds
    TestAckServer server(TestAckServer::Mode::Ack);
    SimOptions options = optionsFor(server);
    options.positions = 3;
    options.events = 0;
    options.repeat = 1;
    options.interval = kInterval;
    const std::vector<std::string> track = {
        "$GPRMC,095304.802,A,2712.6520,S,15303.1397,E,0.00,133.96,080407,,,A*78"};

    const auto before = std::chrono::system_clock::now();
    const SessionReport report = RecorderSession(options, 0, {}, track).run({});
    ASSERT_EQ(report.errors, 0u) << (report.errorTexts.empty() ? "" : report.errorTexts[0]);

    const auto packets = server.packets();
    ASSERT_EQ(packets.size(), 4u);
    const auto dayStart = std::chrono::floor<std::chrono::days>(before);
    for (std::size_t i = 1; i < packets.size(); ++i) {
        const std::string text(packets[i].payload.begin(), packets[i].payload.end());
        const std::string clock = text.substr(text.find(',') + 1, 10); // hhmmss.sss
        auto sentAt = dayStart + std::chrono::hours(std::stoi(clock.substr(0, 2))) +
                      std::chrono::minutes(std::stoi(clock.substr(2, 2))) +
                      std::chrono::milliseconds(std::lround(std::stod(clock.substr(4)) * 1000));
        if (sentAt < before - std::chrono::hours(12))
            sentAt += std::chrono::days(1); // made after midnight
        // Packet i left after i pauses, and was made after them.
        EXPECT_GE(sentAt + kClockGrain, before + static_cast<int>(i) * kInterval)
            << "position " << i << ": " << text;
    }
}
