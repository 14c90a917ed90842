// FleetSubscriber: a station's link to the fleet's broker. It connects with a
// client id of its own and a clean session, subscribes to every gateway's and
// every recorder's state and to the events of the one recorder the station
// has selected, and hands what arrives to the station through a FleetInbox.
// When it cannot connect, or loses the broker, it tries again after a pause
// that doubles from reconnectMin up to reconnectMax; each new connection is a
// new session, which subscribes again (the broker then sends the retained
// states anew) and tells the station to forget what the previous one said.
//
// Messages are checked before they are copied: a topic outside the fleet's
// layout is counted and dropped, and so is a payload over its limit
// (PayloadLimits.h) or of an event code the station does not handle.
//
// Threads. A worker thread of its own connects, subscribes and waits; it alone
// calls the client's connect, subscribe and disconnect. The MQTT client's
// callback thread files messages into the inbox and reports a lost connection.
// The station's thread reads the status and the inbox and sets the selection.
// m_lock guards the selection wanted, the status and the wake-up flag; the
// counters and the session number are atomics. The destructor stops the
// worker (which disconnects) and then the client, before the inbox goes.
#pragma once

#include "BrokerAddress.h"
#include "FleetInbox.h"
#include "FleetTopics.h"
#include "PayloadLimits.h"
#include "ReconnectDelay.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace mqtt {
class async_client;
}

namespace fleet {

class FleetSubscriber
{
public:
    static constexpr std::chrono::milliseconds kReconnectMin = ReconnectDelay::kFirst;
    static constexpr std::chrono::milliseconds kReconnectMax = ReconnectDelay::kLongest;
    // The longest wait for the broker's answer to a connect or a subscribe.
    static constexpr std::chrono::milliseconds kOperationTimeout{5'000};
    // The broker and the client each find a dead connection within 1.5 times this.
    static constexpr std::chrono::seconds kKeepAlive{10};

    struct Options
    {
        BrokerAddress broker;
        std::string prefix{kDefaultPrefix};
        std::chrono::milliseconds reconnectMin = kReconnectMin;
        std::chrono::milliseconds reconnectMax = kReconnectMax;
        std::chrono::milliseconds operationTimeout = kOperationTimeout;
        std::chrono::seconds keepAlive = kKeepAlive;
        std::size_t maxClipBytes = kDefaultMaxClipBytes;
        std::size_t inboxMessages = FleetInbox::kDefaultMaxMessages;
        std::size_t inboxBytes = FleetInbox::kDefaultMaxBytes;
    };

    struct Status
    {
        bool connected = false;
        // Grows with every connection made; 0 before the first.
        std::uint64_t session = 0;
        // One line for the operator: which broker, and whether it is lost.
        std::string text;
    };

    // Starts connecting at once, on the worker thread.
    explicit FleetSubscriber(Options options);
    ~FleetSubscriber();
    FleetSubscriber(const FleetSubscriber&) = delete;
    FleetSubscriber& operator=(const FleetSubscriber&) = delete;

    // The recorder whose events are subscribed (none: no recorder's). The old
    // one's are unsubscribed; messages of it already on their way may still
    // come, and the station tells them by their key.
    void select(std::optional<std::string> recorderKey);

    Status status() const;
    FleetInbox& inbox() { return m_inbox; }
    const std::string& clientId() const { return m_clientId; }
    // Messages dropped on arrival: a topic not of the fleet's layout, a payload
    // over its limit or of an event code not handled.
    std::uint64_t malformedTopics() const { return m_malformedTopics.load(); }
    std::uint64_t refusedPayloads() const { return m_refusedPayloads.load(); }

private:
    void run(std::stop_token stop);
    bool connect(std::string& failure);
    void subscribeSelection(std::optional<std::string>& subscribed);
    void arrived(const std::string& topic, const std::string& payload);
    void setStatus(bool connected, std::string text);
    std::string lostText() const;
    void wake();

    const Options m_options;
    const std::string m_clientId;
    FleetInbox m_inbox;
    std::atomic<std::uint64_t> m_malformedTopics{0};
    std::atomic<std::uint64_t> m_refusedPayloads{0};
    std::atomic<std::uint64_t> m_session{0};
    std::atomic<bool> m_lost{false};

    mutable std::mutex m_lock; // guards the four below
    std::optional<std::string> m_wanted;
    bool m_selectionChanged = false;
    bool m_woken = false;
    Status m_status;
    std::condition_variable_any m_wake;

    // Its callbacks use the members above; it goes before them.
    std::unique_ptr<mqtt::async_client> m_client;
    // Joined first, before the client it drives.
    std::jthread m_worker;
};

} // namespace fleet
