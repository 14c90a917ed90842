// A fleet's failover with real peers on loopback: recorders dial a real
// haproxy made from the fleet's configuration (scripts/fleet/haproxy.cfg.in),
// which spreads them over two real gateways publishing to mosquitto; a
// subscriber lists them as a station does (FleetRoster over the retained
// states). One gateway is killed; its recorders go offline by its last will,
// dial again through the proxy and land on the other gateway; the killed one
// comes back and hands over what its journal held. Every acknowledged
// position is in one of the two archives and reached the subscriber.
#include "ArchiveSet.h"
#include "BrokerLink.h"
#include "FleetProxyConfig.h"
#include "FleetRoster.h"
#include "FleetStates.h"
#include "FleetSubscriber.h"
#include "FleetTopics.h"
#include "GatewayProcess.h"
#include "GpsdHarness.h"
#include "MqttBrokerHarness.h"
#include "TempFolder.h"
#include "TestRecorder.h"
#include "kavrel_events.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <thread>

using namespace fleettest;
using namespace testsupport;
using namespace std::chrono_literals;
namespace Code = kavrel::EventCode;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWait = 20s;
// The broker takes a client whose socket is gone for gone at once; one that
// just falls silent, after one and a half keep-alive intervals (MQTT 3.1.1).
// Either way the gateway's last will is published within this bound.
constexpr auto kWillBound = fleet::BrokerLink::kKeepAlive * 3 / 2;
// How long haproxy may take to listen, and the pause between probes.
constexpr auto kProxyStart = 10s;
constexpr auto kProbePause = 20ms;
// How often the gateways' log files are read again while a line is awaited.
constexpr auto kLogProbe = 20ms;
constexpr std::string_view kPrefix = fleet::kDefaultPrefix;
constexpr int kRecorders = 4;
constexpr int kPositions = 3;
// Positions sent back to back on the doomed gateway right before its kill,
// so that its journal still holds some that the broker has not taken.
constexpr int kBurst = 20;

// A gateway of its own: a copy of the program in its folder, so that it reads
// its own quvex.ini (trusting the proxy, logging), and a data folder.
struct GatewaySetup
{
    std::string name;
    std::string folder;
    std::string program;
    std::string data;
    std::uint16_t port = 0;

    GatewaySetup(const std::string& temp, std::string gatewayName)
        : name(std::move(gatewayName)), folder(temp + name + "/"),
          program(folder + "tessaro-gateway"), data(folder + "data/"), port(freePort())
    {
        fs::create_directories(data);
        fs::copy_file(TESSARO_GATEWAY_PATH, program);
        fs::permissions(program, fs::perms::owner_all);
        std::ofstream(folder + "quvex.ini")
            << "[Option]\nTRUSTED_PROXIES=127.0.0.1\nWANT_LOG=1\nSAVE_DATA=1\n";
    }
    std::unique_ptr<GatewayProcess> start(const std::string& broker) const
    {
        return std::make_unique<GatewayProcess>(
            std::vector<std::string>{"--port", std::to_string(port), "--fleet", broker, "--data",
                                     data, "--name", name},
            program);
    }
    // Everything the receiver library has logged so far.
    std::string log() const
    {
        std::string all;
        if (!fs::exists(folder + "log"))
            return all;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder + "log"))
            if (e.is_regular_file()) {
                const Bytes bytes = fileBytes(e.path());
                all.append(bytes.begin(), bytes.end());
            }
        return all;
    }
    bool waitLog(const std::string& text, std::chrono::milliseconds timeout) const
    {
        const auto deadline = Clock::now() + timeout;
        while (log().find(text) == std::string::npos) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(kLogProbe);
        }
        return true;
    }
};

// The fleet's proxy configuration with its names filled in.
std::string proxyConfiguration(std::uint16_t listenPort, std::uint16_t gateway1,
                               std::uint16_t gateway2)
{
    return fleetProxyConfiguration(STATION_HAPROXY_TEMPLATE, listenPort, gateway1, gateway2);
}

// The fleet as a station lists it: every retained state received so far, in order.
fleet::FleetRoster rosterOf(FleetSubscriber& subscriber)
{
    fleet::FleetRoster roster;
    for (const Received& m : subscriber.received()) {
        const auto topic = fleet::parseTopic(kPrefix, m.topic);
        if (!topic)
            continue;
        if (topic->kind == fleet::TopicKind::GatewayState)
            roster.applyGatewayState(topic->gateway, m.payload.empty()
                                                         ? std::nullopt
                                                         : fleet::decodeGatewayState(m.payload));
        else if (topic->kind == fleet::TopicKind::RecorderState)
            roster.applyRecorderState(topic->recorderKey, topic->gateway,
                                      m.payload.empty() ? std::nullopt
                                                        : fleet::decodeRecorderState(m.payload));
    }
    return roster;
}

// Waits until the roster satisfies listed, reading it again at every message.
bool waitRoster(FleetSubscriber& subscriber,
                const std::function<bool(const fleet::FleetRoster&)>& listed,
                std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t seen = subscriber.count();
        if (listed(rosterOf(subscriber)))
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 ||
            !subscriber.waitFor([](const Received&) { return true; }, left, seen))
            return listed(rosterOf(subscriber));
    }
}

// Every position sentence in the archives, read together.
std::multiset<std::string> archivedSentences(std::vector<std::string> folders)
{
    const archive::ArchiveSet archives(std::move(folders));
    std::multiset<std::string> sentences;
    for (const archive::Date& day : archives.days())
        for (const archive::Recorder& recorder : archives.recorders(day))
            if (const auto recorderDay = archives.recorderDay(day, recorder.folder))
                for (const archive::Position& position : recorderDay->positions)
                    sentences.insert(position.sentence);
    return sentences;
}

std::string rmcSentence(const std::string& serial, std::size_t n)
{
    static const std::vector<std::string> captured = capturedRmcSentences();
    std::string sentence = captured.at(n % captured.size());
    while (!sentence.empty() && sentence.back() == '\r')
        sentence.pop_back();
    return sentence + "," + serial + "-" + std::to_string(n);
}

::testing::AssertionResult sendPositions(TestRecorder& recorder, int count)
{
    for (int i = 0; i < count; ++i)
        if (auto sent = recorder.position(rmcSentence(recorder.serial, recorder.positions.size()));
            !sent)
            return sent;
    return ::testing::AssertionSuccess();
}

long long millisSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Recorders spread over two gateways behind the proxy, each known by its own
// address; one gateway is killed: its recorders are offline within the
// will's bound, dial again, land on the other gateway and are online there
// with a newer connection; the killed gateway restarts; every acknowledged
// position is archived on one of the two and reached the subscriber.
TEST(GatewayFailoverTest, RecordersOfAKilledGatewayMoveToTheOtherAndNoAcknowledgedPositionIsLost)
{
    TempFolder temp;
    MqttBrokerHarness broker(BrokerKind::Mosquitto, temp.path());
    FleetSubscriber subscriber(broker.clientUri(), std::string(kPrefix) + "/#");
    std::map<std::string, GatewaySetup> setups;
    std::map<std::string, std::unique_ptr<GatewayProcess>> gateways;
    for (const std::string name : {"gw-a", "gw-b"}) {
        setups.emplace(name, GatewaySetup(temp.path(), name));
        gateways[name] = setups.at(name).start(broker.url());
        ASSERT_TRUE(gateways[name]->waitLine("listening on port", kWait))
            << gateways[name]->lines();
        ASSERT_TRUE(waitRoster(
            subscriber, [&](const fleet::FleetRoster& r) { return r.gatewayOnline(name); }, kWait))
            << gateways[name]->lines();
    }

    const std::uint16_t proxyPort = freePort();
    const std::string config = temp.path() + "haproxy.cfg";
    std::ofstream(config) << proxyConfiguration(proxyPort, setups.at("gw-a").port,
                                                setups.at("gw-b").port);
    ChildProcess haproxy({findTool("haproxy", "haproxy"), "-db", "-f", config},
                         ChildProcess::Output::CaptureBoth);
    const auto proxyDeadline = Clock::now() + kProxyStart;
    for (;;) {
        recorder::RecorderConnection probe;
        probe.setLocalAddress("127.0.0.99");
        if (probe.connect("127.0.0.1", proxyPort))
            break;
        ASSERT_TRUE(haproxy.alive()) << "haproxy ended: " << haproxy.readLine(1s).value_or("");
        ASSERT_LT(Clock::now(), proxyDeadline) << "haproxy does not listen";
        std::this_thread::sleep_for(kProbePause);
    }

    // 1. Spread over both gateways, each listed online and known by its own address.
    std::vector<std::unique_ptr<TestRecorder>> recorders;
    std::vector<std::string> addresses;
    for (int i = 0; i < kRecorders; ++i) {
        recorders.push_back(std::make_unique<TestRecorder>("SN" + std::to_string(i)));
        addresses.push_back("127.0.0." + std::to_string(2 + i));
        ASSERT_TRUE(recorders[i]->login(proxyPort, addresses[i]));
        ASSERT_TRUE(sendPositions(*recorders[i], kPositions));
    }
    ASSERT_TRUE(waitRoster(
        subscriber,
        [&](const fleet::FleetRoster& r) {
            return r.onlineRecorders().size() == static_cast<std::size_t>(kRecorders);
        },
        kWait));
    std::map<std::string, std::uint64_t> firstConnection; // by recorder key
    std::map<std::string, std::vector<int>> held;         // by gateway: recorder indexes
    const fleet::FleetRoster listed = rosterOf(subscriber);
    for (int i = 0; i < kRecorders; ++i) {
        const auto state = listed.onlineState(recorders[i]->key());
        ASSERT_TRUE(state) << recorders[i]->key();
        EXPECT_EQ(state->device, recorders[i]->device());
        firstConnection[recorders[i]->key()] = state->connection;
        held[state->gateway].push_back(i);
        EXPECT_TRUE(
            setups.at(state->gateway)
                .waitLog("PROXY header from 127.0.0.1: the recorder is " + addresses[i], kWait))
            << state->gateway << " does not know " << recorders[i]->key() << " by its address";
    }
    ASSERT_EQ(held.size(), 2u) << "leastconn puts recorders on both gateways";

    // 2. The gateway of the first recorder is killed right after a burst: its
    // recorders go offline by its will, the others stay online.
    const std::string doomed = listed.onlineState(recorders[0]->key())->gateway;
    const std::string survivor = doomed == "gw-a" ? "gw-b" : "gw-a";
    for (int i : held[doomed])
        ASSERT_TRUE(sendPositions(*recorders[i], kBurst));
    const auto killed = Clock::now();
    gateways[doomed]->kill();
    ASSERT_TRUE(waitRoster(
        subscriber,
        [&](const fleet::FleetRoster& r) {
            for (int i : held[doomed])
                if (r.onlineState(recorders[i]->key()))
                    return false;
            for (int i : held[survivor])
                if (!r.onlineState(recorders[i]->key()))
                    return false;
            return !r.gatewayOnline(doomed);
        },
        kWillBound))
        << "offline within " << kWillBound.count() << " s";
    std::printf("the killed gateway's recorders were listed offline after %lld ms\n",
                millisSince(killed));
    for (int i : held[survivor])
        ASSERT_TRUE(sendPositions(*recorders[i], kPositions));

    // 3. They dial again through the proxy, which still counts the dead
    // gateway as up, and land on the survivor with newer connections.
    const auto redial = Clock::now();
    for (int i : held[doomed]) {
        ASSERT_TRUE(recorders[i]->login(proxyPort, addresses[i]));
        ASSERT_TRUE(sendPositions(*recorders[i], kPositions));
    }
    std::printf("%zu recorders dialled again and were acknowledged after %lld ms\n",
                held[doomed].size(), millisSince(redial));
    const auto allOnSurvivor = [&](const fleet::FleetRoster& r) {
        for (const auto& recorder : recorders) {
            const auto state = r.onlineState(recorder->key());
            if (!state || state->gateway != survivor)
                return false;
        }
        return true;
    };
    ASSERT_TRUE(waitRoster(subscriber, allOnSurvivor, kWait));
    for (int i : held[doomed]) {
        EXPECT_GT(rosterOf(subscriber).onlineState(recorders[i]->key())->connection,
                  firstConnection[recorders[i]->key()]);
        EXPECT_TRUE(setups.at(survivor).waitLog(
            "PROXY header from 127.0.0.1: the recorder is " + addresses[i], kWait));
    }

    // 4. The killed gateway comes back: its stale states are cleared, the
    // moved recorders stay listed on the survivor, and what its journal held
    // goes out.
    const std::size_t beforeRestart = subscriber.count();
    gateways[doomed] = setups.at(doomed).start(broker.url());
    ASSERT_TRUE(gateways[doomed]->waitLine("listening on port", kWait))
        << gateways[doomed]->lines();
    ASSERT_TRUE(subscriber.waitFor(
        [&](const Received& m) {
            const auto state = m.topic == fleet::gatewayStateTopic(kPrefix, doomed)
                                   ? fleet::decodeGatewayState(m.payload)
                                   : std::nullopt;
            return state && state->online;
        },
        kWait, beforeRestart));
    EXPECT_TRUE(waitRoster(subscriber, allOnSurvivor, kWait));
    for (int i : held[doomed])
        EXPECT_TRUE(subscriber.waitFor(
            [&](const Received& m) {
                return m.topic == fleet::recorderStateTopic(kPrefix, recorders[i]->key(), doomed) &&
                       m.payload.empty();
            },
            kWait, beforeRestart))
            << "the stale state of " << recorders[i]->key() << " is cleared";

    const std::multiset<std::string> archived =
        archivedSentences({setups.at("gw-a").data, setups.at("gw-b").data});
    for (const auto& recorder : recorders)
        for (const std::string& sentence : recorder->positions) {
            EXPECT_TRUE(archived.contains(sentence)) << "not archived: " << sentence;
            EXPECT_TRUE(subscriber.waitFor(
                [&](const Received& m) {
                    return m.topic == fleet::recorderEventTopic(kPrefix, recorder->key(),
                                                                Code::CMD_GPRMC_DATA) &&
                           m.payload == sentence;
                },
                kWait))
                << "not published: " << sentence;
        }

    for (auto& [name, gateway] : gateways)
        EXPECT_EQ(gateway->stop(10s), 0) << name << "\n" << gateway->lines();
    haproxy.stop();
}

} // namespace
