// BrokerLink: one connection to the fleet's broker, kept up by a thread of its
// own. MQTT 3.1.1, a fixed client id and no clean session, so that what the
// client library stores of QoS 1 messages not yet delivered (in its folder on
// the disk) goes out after a restart of the program too.
//
// The thread connects, and while the broker cannot be reached it tries again
// after a delay that doubles from the first to the longest (ReconnectDelay);
// after each connection it calls Connected on itself, then waits until the
// connection is lost or the link stops. Each change is told once through Tell:
// the first connection, the failure to reach the broker (once per outage, not
// per attempt), the loss and the return.
//
// publish() never waits for the broker: while it is away, the client library
// keeps up to maxBuffered messages (dropping the oldest when dropOldest, else
// refusing the newest) and sends them once it is back.
//
// Threads: publish(), subscribe() and unsubscribe() from any thread; the
// client library calls the message handler and the loss handler on its own
// thread. m_lock guards m_lost and m_connected's changes, and m_wake wakes
// the link's thread when the connection is lost or the link stops.
#pragma once

#include "ReconnectDelay.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace mqtt {
class async_client;
class iaction_listener;
} // namespace mqtt

namespace fleet {

class BrokerLink
{
public:
    static constexpr std::chrono::seconds kConnectTimeout{10};
    static constexpr std::chrono::seconds kKeepAlive{20};
    // How long a subscription or its end waits for the broker's answer.
    static constexpr std::chrono::milliseconds kAnswerTimeout{5000};

    struct Will
    {
        std::string topic;
        std::string payload;
    };
    struct Options
    {
        std::string uri;           // "tcp://HOST:PORT"
        std::string brokerText;    // "mqtt://HOST:PORT", for the lines told
        std::string clientId;      // fixed across runs
        std::string persistFolder; // the client library's store
        std::optional<Will> will;  // retained, QoS 1
        int maxBuffered = 10000;
        bool dropOldest = true;
        std::chrono::milliseconds firstDelay = ReconnectDelay::kFirst;
        std::chrono::milliseconds longestDelay = ReconnectDelay::kLongest;
        std::chrono::seconds connectTimeout = kConnectTimeout;
        std::chrono::seconds keepAlive = kKeepAlive;
    };
    // On the link's thread after each connection; first: the link's first.
    using Connected = std::function<void(bool first)>;
    using Message =
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>;
    using Tell = std::function<void(const std::string& line)>;
    // On the client library's thread: the broker took the message published
    // with this tag (delivered), or the client library gave it up.
    using Delivered = std::function<void(std::uint64_t tag, bool delivered)>;

    // Throws std::runtime_error when the client library refuses the options.
    BrokerLink(Options options, Connected connected, Message message, Tell tell);
    // Stops the thread; nothing more is sent.
    ~BrokerLink();
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;

    // Set before start().
    void setDelivered(Delivered delivered) { m_delivered = std::move(delivered); }
    void start();
    // QoS 1. False when the client library refused it (its buffer is full).
    // A tag other than 0 is reported to Delivered once the broker has taken it.
    bool publish(const std::string& topic, std::string_view payload, bool retained,
                 std::uint64_t tag = 0);
    // QoS 1; false when the broker did not take it within kAnswerTimeout.
    bool subscribe(const std::string& filter);
    bool unsubscribe(const std::string& filter);
    bool connected() const { return m_connected.load(); }
    // Messages published while the broker was away, since the last connection.
    std::uint64_t publishedAway() const { return m_publishedAway.load(); }

    // Stops reconnecting, waits up to flush for what is not delivered yet,
    // and disconnects.
    void stop(std::chrono::milliseconds flush);

private:
    class Listener;
    void run(std::stop_token stop);
    bool connectOnce(const std::stop_token& stop, std::string& why);

    const Options m_options;
    const Connected m_connectedHandler;
    const Message m_message;
    const Tell m_tell;
    Delivered m_delivered;
    std::unique_ptr<mqtt::iaction_listener> m_listener;
    std::unique_ptr<mqtt::async_client> m_client;

    std::mutex m_lock;
    std::condition_variable_any m_wake;
    bool m_lost = false;
    std::string m_lostCause;
    std::atomic<bool> m_connected{false};
    std::atomic<std::uint64_t> m_publishedAway{0};
    std::jthread m_thread; // last: stopped and joined first
};

} // namespace fleet
