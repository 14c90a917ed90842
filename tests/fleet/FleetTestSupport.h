// What the fleet's station tests share: gateways as the broker sees them (a
// publisher of their states and events, and a connection per gateway that
// holds its last will), recorders numbered 0 to N, RMC sentences, and a
// station over views that record what they are told.
#pragma once

#include "AlarmView.h"
#include "ChildProcess.h"
#include "ClipViewer.h"
#include "DeviceDetailsView.h"
#include "DispatcherView.h"
#include "EventDispatcher.h"
#include "FleetStates.h"
#include "FleetTopics.h"
#include "ManualTimer.h"
#include "MqttBrokerHarness.h"
#include "NmeaChecksum.h"
#include "RecordingSound.h"
#include "Station.h"
#include "StationView.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mqtt/async_client.h>
#include <string>
#include <thread>
#include <vector>

namespace fleettest {

using namespace std::chrono_literals;

inline const std::string kPrefix{fleet::kDefaultPrefix};

inline std::string recorderKey(int n)
{
    char key[16];
    std::snprintf(key, sizeof key, "REC%04d", n);
    return key;
}

// The visible list's text of recorder n: its Locate, "_", its IdNo.
inline std::string locateText(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "Bus-%04d_ID%04d", n, n);
    return text;
}

inline fleet::RecorderState recorderState(int n, const std::string& gateway)
{
    fleet::RecorderState state;
    state.online = true;
    state.gateway = gateway;
    state.connection = 1'765'274'400'000'000ULL + static_cast<std::uint64_t>(n);
    state.since = "2026/12/09 10:00:00";
    state.address = "10.0.0.7";
    char locate[16], id[16];
    std::snprintf(locate, sizeof locate, "Bus-%04d", n);
    std::snprintf(id, sizeof id, "ID%04d", n);
    state.device = {"QUVEX", "SN", "10.0.0.7", "Depot", "Driver", locate, id};
    return state;
}

// "$GPRMC,...*CS" with a correct checksum, for minute m of the hour.
inline std::string rmc(int minute)
{
    char body[96];
    std::snprintf(body, sizeof body,
                  "$GPRMC,10%02d00,A,4807.038,N,01131.000,E,022.4,084.4,091226,,", minute % 60);
    std::string sentence = body;
    nmea::appendNmeaChecksum(sentence, 0);
    return sentence;
}

// The gateways' publishing side: one MQTT client that publishes what gateways
// publish (QoS 1, states retained), waiting for the broker's acknowledgement.
class FleetPublisher
{
public:
    explicit FleetPublisher(const testsupport::MqttBrokerHarness& broker)
        : m_client(broker.clientUri(), "test-publisher-" + std::to_string(::getpid()),
                   mqtt::create_options(MQTTVERSION_3_1_1))
    {
        connect();
    }
    ~FleetPublisher()
    {
        try {
            if (m_client.is_connected())
                m_client.disconnect()->wait_for(kBound);
        } catch (const std::exception&) {
        }
    }

    void connect()
    {
        mqtt::connect_options options;
        options.set_mqtt_version(MQTTVERSION_3_1_1);
        options.set_clean_session(true);
        m_client.connect(options)->wait_for(kBound);
    }

    void gatewayState(const std::string& gateway, bool online)
    {
        publish(fleet::gatewayStateTopic(kPrefix, gateway),
                fleet::encodeGatewayState({online, gateway, "2026/12/09 10:00:00"}), true);
    }
    // Recorders first to last (not included), on the gateway.
    void recorders(int first, int last, const std::string& gateway)
    {
        std::vector<mqtt::delivery_token_ptr> pending;
        for (int n = first; n < last; ++n) {
            pending.push_back(
                m_client.publish(fleet::recorderStateTopic(kPrefix, recorderKey(n), gateway),
                                 fleet::encodeRecorderState(recorderState(n, gateway)), 1, true));
            if (pending.size() >= kBatch) {
                for (auto& token : pending)
                    token->wait_for(kBound);
                pending.clear();
            }
        }
        for (auto& token : pending)
            token->wait_for(kBound);
    }
    void event(const std::string& key, std::int32_t code, const std::string& payload)
    {
        publish(fleet::recorderEventTopic(kPrefix, key, code), payload, false);
    }
    void publish(const std::string& topic, const std::string& payload, bool retained)
    {
        m_client.publish(topic, payload, 1, retained)->wait_for(kBound);
    }

private:
    static constexpr auto kBound = 10s;
    // The client holds at most 100 messages unacknowledged.
    static constexpr std::size_t kBatch = 50;
    mqtt::async_client m_client;
};

// A gateway's own connection, which holds its last will ("offline", retained)
// until the gateway dies: a mosquitto_sub whose kill the broker sees as a
// connection lost. Its output is line-buffered, so that its debug line
// telling of the broker's acknowledgement comes at once.
class GatewayWill
{
public:
    GatewayWill(const testsupport::MqttBrokerHarness& broker, const std::string& gateway)
        : m_process({testsupport::findTool("stdbuf", "coreutils"),
                     "-oL",
                     testsupport::findTool("mosquitto_sub", "mosquitto-clients"),
                     "-h",
                     "127.0.0.1",
                     "-p",
                     std::to_string(broker.port()),
                     "-V",
                     "mqttv311",
                     "-i",
                     "gw-" + gateway + "-" + std::to_string(::getpid()),
                     "-t",
                     kPrefix + "/nothing",
                     "--will-topic",
                     fleet::gatewayStateTopic(kPrefix, gateway),
                     "--will-payload",
                     fleet::encodeGatewayState({false, gateway, "2026/12/09 10:00:00"}),
                     "--will-qos",
                     "1",
                     "--will-retain",
                     "-d"},
                    testsupport::ChildProcess::Output::Capture)
    {
        // Its will counts from the broker's acknowledgement of the connection on.
        while (const auto line = m_process.readLine(10s))
            if (line->find("CONNACK") != std::string::npos)
                return;
        throw std::runtime_error("mosquitto_sub did not connect");
    }
    void die()
    {
        ::kill(m_process.pid(), SIGKILL);
        m_process.waitExit(10s);
    }

private:
    testsupport::ChildProcess m_process;
};

// Every view of the station, recording what the tests look at.
class RecordedViews final : public monitor::StationView,
                            public monitor::DeviceDetailsView,
                            public monitor::ClipViewer,
                            public monitor::AlarmView,
                            public monitor::DispatcherView
{
public:
    std::uintptr_t nativeWindow() override { return 0; }
    void layOutSmallMovie() override {}
    std::optional<std::string> loadIdleMovie(const std::string&) override { return std::nullopt; }
    void clearTexts() override {}
    void showEnlargeGlyph() override {}
    void showListening(const std::string& text, bool listening) override
    {
        brokerLines.push_back({text, listening});
    }
    void showStorageStatus(const std::string&) override {}
    void showRetention(const std::vector<std::string>&, bool) override {}
    void showSettingsProblems(const std::vector<std::string>&) override {}
    void showGpsSentence(const std::string& windows1252) override
    {
        gpsLines.push_back(windows1252);
    }
    void tellStartupErrors(const std::vector<std::string>& told) override
    {
        errors.insert(errors.end(), told.begin(), told.end());
    }
    void post(std::function<void()>) override {}
    void beep() override {}
    void showDetails(const monitor::DeviceDetails& shown) override { details = shown; }
    void showFile(const std::string& path) override { shownFiles.push_back(path); }
    void closeMovie() override {}
    void showFrames(bool, bool) override {}
    void enableSoundChoice(bool) override {}
    void setStatusText(Panel panel, const std::string& text) override
    {
        if (panel == Panel::Connections)
            connections.push_back(text);
    }
    void setReceivingVisible(bool) override {}
    void setEventCaption(const std::string&) override {}
    void centreEventCaption() override {}
    void setElapsed(const std::string&) override {}
    void processMessages() override {}

    std::vector<std::pair<std::string, bool>> brokerLines;
    std::vector<std::string> errors;
    std::vector<std::string> connections; // each count the list was updated to
    std::vector<std::string> gpsLines;    // each sentence forwarded, without its line end
    std::vector<std::string> shownFiles;  // each movie the movie view was given
    monitor::DeviceDetails details;
};

// A station on the fleet over recorded views and timers the test drives.
struct FleetStationRig
{
    explicit FleetStationRig(monitor::StationOptions options)
    {
        options.alarmSound = &sound;
        // Short enough for a test, as long as a busy machine needs.
        options.fleet.reconnectMin = 100ms;
        options.fleet.reconnectMax = 400ms;
        options.fleet.operationTimeout = 3s;
        station = std::make_unique<monitor::Station>(
            std::move(options), monitor::Station::Views{views, views, views, views, views},
            monitor::Station::Timers{timer1, tmrAlarm, gpsTimer, initGpsTimer, listenRetry,
                                     retention});
    }
    // Ticks the station (its Timer1) until done() or the bound passes.
    template <typename Done> bool tickUntil(Done done, std::chrono::milliseconds bound = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            station->Timer1Timer();
            std::this_thread::sleep_for(monitor::EventDispatcher::kTickInterval);
        }
        return true;
    }

    RecordedViews views;
    testsupport::RecordingSound sound;
    testsupport::ManualTimer timer1, tmrAlarm, gpsTimer, initGpsTimer, listenRetry, retention;
    std::unique_ptr<monitor::Station> station;
};

} // namespace fleettest
