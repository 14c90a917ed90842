// The station on a fleet, without its window, against a real broker (a
// mosquitto of the test's own) with the gateways' messages published by a
// real MQTT client and their last wills held by real connections.
//
// One station follows a fleet of 2,000 recorders on two gateways through a
// gateway's death, the operator's selection, forged positions and a broker
// restart; two stations (one of them a process) watch one fleet; a broker
// that cannot be used is told once and tried again.
#include "DeviceRegistry.h"
#include "EventDispatcher.h"
#include "FleetLink.h"
#include "FleetSubscriber.h"
#include "FleetTestSupport.h"
#include "PtyPair.h"
#include "StationTestSupport.h"
#include "kavrel_events.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace fleettest;
using namespace monitor;
using namespace stationtest;
using testsupport::ChildProcess;
using testsupport::MqttBrokerHarness;
using testsupport::PtyPair;
using Clock = std::chrono::steady_clock;

namespace {

// The stations' single-instance locks live in a runtime folder of this test program.
class RuntimeFolder final : public ::testing::Environment
{
public:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", m_folder.path().c_str(), 1); }

private:
    TempFolder m_folder;
};
const auto* const g_runtimeFolder = ::testing::AddGlobalTestEnvironment(new RuntimeFolder);

StationOptions fleetOptions(const ProgramFolder& folder, const MqttBrokerHarness& broker,
                            const PtyPair& gps)
{
    StationOptions options = stationOptions(folder);
    options.fleetBroker = broker.url();
    options.gpsPortPath = gps.devicePath();
    return options;
}

bool lastLineSays(const RecordedViews& views, const std::string& words, bool connected)
{
    return !views.brokerLines.empty() && views.brokerLines.back().second == connected &&
           views.brokerLines.back().first.find(words) != std::string::npos;
}

std::vector<std::string> listedKeys(const DeviceLists& lists)
{
    std::vector<std::string> keys;
    for (int p = 0; p < lists.count(); ++p)
        keys.push_back(lists.key(p));
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::vector<std::string> keysOf(int first, int last, std::vector<int> leftOut = {})
{
    std::vector<std::string> keys;
    for (int n = first; n < last; ++n)
        if (std::find(leftOut.begin(), leftOut.end(), n) == leftOut.end())
            keys.push_back(recorderKey(n));
    return keys;
}

// What a GPS port has received so far, read without waiting.
struct PortReader
{
    PtyPair& port;
    std::string seen;

    bool has(const std::string& sentence)
    {
        seen += port.read(kReadChunk, 0ms);
        return seen.find(sentence + "\r\n") != std::string::npos;
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> all;
        for (std::size_t at = 0; at < seen.size();) {
            const std::size_t end = std::min(seen.find("\r\n", at), seen.size());
            all.push_back(seen.substr(at, end - at));
            at = end + 2;
        }
        return all;
    }
    static constexpr std::size_t kReadChunk = 4096;
};

// Publishes the sentence as the recorder's position until the station has
// written it to its GPS port: the subscription to a newly selected recorder's
// events stands a moment after the selection.
bool publishUntilForwarded(FleetStationRig& rig, FleetPublisher& gateways, const std::string& key,
                           const std::string& sentence, PortReader& port)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        gateways.event(key, kavrel::EventCode::CMD_GPRMC_DATA, sentence);
        if (rig.tickUntil([&] { return port.has(sentence); }, 200ms))
            return true;
    }
    return false;
}

TEST(FleetStation, FollowsTheFleetThroughAGatewaysDeathForgedPositionsAndABrokerRestart)
{
    MqttBrokerHarness broker;
    FleetPublisher gateways(broker);
    // Gateway B's own connection holds its last will. (A broker that stops
    // publishes the wills of the connections it ends, so gateway A holds none:
    // its recorders stay listed while the broker is away.)
    GatewayWill willB(broker, "gw-B");
    gateways.gatewayState("gw-A", true);
    gateways.gatewayState("gw-B", true);
    gateways.recorders(0, 1000, "gw-A");
    gateways.recorders(1000, 2000, "gw-B");

    ProgramFolder folder;
    PtyPair gps;
    FleetStationRig rig(fleetOptions(folder, broker, gps));
    rig.station->FormCreate();
    ASSERT_TRUE(rig.views.errors.empty()) << rig.views.errors.front();
    const auto& trace = rig.station->startupTrace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "StartReceiver"), 0);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "RecoverJournal"), 0);
    DeviceRegistry& registry = rig.station->registry();
    DeviceLists& lists = registry.lists();

    // The retained states of 2,000 recorders, listed in one go.
    ASSERT_TRUE(
        rig.tickUntil([&] { return lastLineSays(rig.views, "Fleet " + broker.url(), true); }));
    const auto connected = Clock::now();
    ASSERT_TRUE(rig.tickUntil([&] { return lists.count() == 2000; }));
    const auto listedAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - connected);
    std::printf("2000 recorders listed %lld ms after connecting\n",
                static_cast<long long>(listedAfter.count()));
    EXPECT_LT(listedAfter, 2s);
    ASSERT_FALSE(rig.views.connections.empty());
    EXPECT_EQ(rig.views.connections.front(), "2000") << "the list was filled piece by piece";
    EXPECT_EQ(listedKeys(lists), keysOf(0, 2000));
    EXPECT_EQ(lists.locateText(lists.indexOf("REC1234")), locateText(1234));
    EXPECT_EQ(lists.selectedKey(), "REC0000");
    EXPECT_EQ(rig.views.details.LblLoc, "Bus-0000");

    // A gateway's last will takes its recorders off the list.
    willB.die();
    ASSERT_TRUE(rig.tickUntil([&] { return lists.count() == 1000; }));
    EXPECT_EQ(listedKeys(lists), keysOf(0, 1000));

    // The selected recorder's positions reach the GPS port, and a position
    // arms the alarm.
    registry.locateChosen(lists.indexOf("REC0042"));
    EXPECT_EQ(rig.views.details.LblID, "ID0042");
    PortReader port{gps, {}};
    ASSERT_TRUE(publishUntilForwarded(rig, gateways, "REC0042", rmc(1), port));
    EXPECT_TRUE(rig.tmrAlarm.enabled());

    // Forged and foreign input never reaches the port; the event time does
    // reach the dispatcher.
    struct Forged
    {
        const char* legend;
        std::string topic;
        std::string payload;
    };
    const std::string positions = fleet::recorderEventTopic(kPrefix, "REC0042", 2);
    std::string oversized = rmc(3);
    oversized.insert(7, std::string(70 * 1024, '0'));
    const std::vector<Forged> forged = {
        {"bad checksum", positions, rmc(4).substr(0, rmc(4).size() - 2) + "00"},
        {"oversized", positions, oversized},
        {"not a sentence", positions, "hello"},
        {"code not of four digits", kPrefix + "/recorder/REC0042/event/2", rmc(5)},
        {"another recorder's", fleet::recorderEventTopic(kPrefix, "REC0043", 2), rmc(6)},
        {"a code the station does not take", fleet::recorderEventTopic(kPrefix, "REC0042", 0x10),
         rmc(7)},
    };
    for (const Forged& f : forged)
        gateways.publish(f.topic, f.payload, false);
    gateways.event("REC0042", kavrel::EventCode::CMD_QUVEX_TIME_EVENT, "2026/12/09 10:05:00,ok");
    gateways.event("REC0042", kavrel::EventCode::CMD_GPRMC_DATA, rmc(8));
    ASSERT_TRUE(rig.tickUntil([&] { return port.has(rmc(8)); }));
    for (const std::string& line : port.lines())
        EXPECT_TRUE(line == rmc(1) || line == rmc(8)) << "reached the GPS port: " << line;
    EXPECT_EQ(rig.station->dispatcher()->EventTimeText(), "2026/12/09 10:05:00");
    // Its clip plays in the movie view, from the preview beside the program;
    // nothing is archived (the station's own log is no archive).
    const std::string clip(3000, 'c');
    gateways.event("REC0042", kavrel::EventCode::CMD_MPEG4_I_CH1, clip);
    const std::size_t shownBefore = rig.views.shownFiles.size();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.views.shownFiles.size() > shownBefore; }));
    EXPECT_EQ(std::filesystem::file_size(rig.views.shownFiles.back()), clip.size() + 1);
    EXPECT_EQ(rig.station->dispatcher()->ChannelText(), "1");
    for (const auto& file : std::filesystem::recursive_directory_iterator(folder.path()))
        EXPECT_TRUE(!file.is_regular_file() || file.path() == rig.views.shownFiles.back() ||
                    file.path().filename() == "nopicture.mov" ||
                    file.path().filename().string().ends_with(" Tessaro.log.txt"))
            << "archived on a fleet: " << file.path();
    const fleet::FleetSubscriber& subscriber = rig.station->fleetLink()->subscriber();
    EXPECT_GE(subscriber.malformedTopics(), 1u);
    EXPECT_GE(subscriber.refusedPayloads(), 2u);

    // The broker restarts empty; the gateways publish their states again, one
    // recorder fewer. The station tells it lost the broker, connects again,
    // lists the fleet as it is now and keeps the operator's selection.
    broker.stop();
    ASSERT_TRUE(rig.tickUntil([&] { return lastLineSays(rig.views, "lost", false); }));
    EXPECT_EQ(lists.count(), 1000) << "the list stays while the broker is away";
    broker.start();
    gateways.connect();
    gateways.gatewayState("gw-A", true);
    gateways.gatewayState("gw-B", true);
    gateways.recorders(0, 1000, "gw-A");
    gateways.recorders(1000, 1999, "gw-B");
    ASSERT_TRUE(rig.tickUntil([&] { return lastLineSays(rig.views, "connected again", true); }));
    ASSERT_TRUE(rig.tickUntil([&] { return lists.count() == 1999; }));
    EXPECT_EQ(listedKeys(lists), keysOf(0, 1999));
    EXPECT_EQ(lists.selectedKey(), "REC0042");
    ASSERT_TRUE(publishUntilForwarded(rig, gateways, "REC0042", rmc(9), port));
    rig.station->FormClose();
}

// The same fleet in two stations: this one, and another in a process of its own.
TEST(FleetStation, TwoStationsOnOneFleetListTheSameAndForwardTheSamePositions)
{
    MqttBrokerHarness broker;
    FleetPublisher gateways(broker);
    gateways.gatewayState("gw-A", true);
    gateways.recorders(0, 300, "gw-A");

    ProgramFolder folder;
    ProgramFolder peerFolder;
    PtyPair gps;
    PtyPair peerGps;
    ChildProcess peer({platform::joinPath(platform::programFolder(), "fleet_station_peer"),
                       broker.url(), peerGps.devicePath(), peerFolder.path()},
                      ChildProcess::Output::Capture);
    FleetStationRig rig(fleetOptions(folder, broker, gps));
    rig.station->FormCreate();
    DeviceLists& lists = rig.station->registry().lists();
    ASSERT_TRUE(rig.tickUntil([&] { return lists.count() == 300; }));

    // The peer prints its list whenever it changes: "listed N FIRST LAST".
    std::string peerList;
    const std::string expected = "listed 300 REC0000 REC0299";
    while (const auto line = peer.readLine(20s)) {
        peerList = *line;
        if (peerList == expected)
            break;
    }
    EXPECT_EQ(peerList, expected);
    EXPECT_EQ(listedKeys(lists), keysOf(0, 300));

    // Both select the first recorder; its positions reach both GPS ports.
    ASSERT_EQ(lists.selectedKey(), "REC0000");
    PortReader port{gps, {}};
    PortReader peerPort{peerGps, {}};
    ASSERT_TRUE(publishUntilForwarded(rig, gateways, "REC0000", rmc(11), port));
    for (int attempt = 0; !peerPort.has(rmc(11)); ++attempt) {
        ASSERT_LT(attempt, 50) << "the second station forwarded nothing";
        gateways.event("REC0000", kavrel::EventCode::CMD_GPRMC_DATA, rmc(11));
        peerPort.seen += peerGps.read(PortReader::kReadChunk, 200ms);
    }
}

// A broker that cannot be used: one clear line, tried again, no hang.
TEST(FleetStation, ABrokerThatCannotBeUsedIsToldOnceAndTriedAgain)
{
    struct Case
    {
        const char* legend;
        std::string broker;
        std::string told; // in the start-up errors, or else in the broker line
        bool triedAgain;
    };
    const std::vector<Case> cases = {
        {"not an MQTT address", "http://127.0.0.1:1883", "cannot be used", false},
        {"a port out of range", "mqtt://127.0.0.1:70000", "cannot be used", false},
        {"nobody listens", "mqtt://127.0.0.1:" + std::to_string(freePort()), "cannot connect",
         true},
        {"a name that does not resolve", "mqtt://no-such-broker.invalid:1883", "cannot connect",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        ProgramFolder folder;
        PtyPair gps;
        StationOptions options = stationOptions(folder);
        options.fleetBroker = c.broker;
        options.gpsPortPath = gps.devicePath();
        auto rig = std::make_unique<FleetStationRig>(std::move(options));
        rig->station->FormCreate();
        if (!c.triedAgain) {
            ASSERT_EQ(rig->views.errors.size(), 1u);
            EXPECT_NE(rig->views.errors[0].find(c.told), std::string::npos) << rig->views.errors[0];
            EXPECT_EQ(rig->station->fleetLink(), nullptr);
        } else {
            EXPECT_TRUE(rig->views.errors.empty());
            // Three tries, told once.
            ASSERT_TRUE(rig->tickUntil(
                [&] { return rig->station->fleetLink()->subscriber().status().session >= 3; }));
            rig->station->Timer1Timer();
            const auto& lines = rig->views.brokerLines;
            EXPECT_EQ(std::count_if(
                          lines.begin(), lines.end(),
                          [&](const auto& l) { return l.first.find(c.told) != std::string::npos; }),
                      1);
            EXPECT_FALSE(lines.back().second);
        }
        const auto closing = Clock::now();
        rig.reset();
        EXPECT_LT(Clock::now() - closing, 5s) << "the station hung on closing";
    }
}

} // namespace
