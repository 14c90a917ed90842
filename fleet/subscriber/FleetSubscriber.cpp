// The subscriber's worker (connect, subscribe, wait, connect again) and its
// filing of arrived messages.
#include "FleetSubscriber.h"

#include <algorithm>
#include <mqtt/async_client.h>
#include <random>
#include <unistd.h>

namespace fleet {
namespace {

constexpr int kQos = 1;

// A client id no other station has: two with one id would throw each other
// off the broker in turn.
std::string uniqueClientId()
{
    static std::atomic<unsigned> s_sequence{0};
    std::random_device random;
    char text[64];
    std::snprintf(text, sizeof text, "tessaro-station-%08x-%ld-%u", random(),
                  static_cast<long>(::getpid()), s_sequence.fetch_add(1));
    return text;
}

std::string reasonOf(const std::exception& error)
{
    const std::string text = error.what();
    return text.empty() ? std::string("no reason given") : text;
}

} // namespace

FleetSubscriber::FleetSubscriber(Options options)
    : m_options(std::move(options)), m_clientId(uniqueClientId()),
      m_inbox(m_options.inboxMessages, m_options.inboxBytes)
{
    m_status.text = "Fleet " + m_options.broker.text() + ": connecting";
    m_client = std::make_unique<mqtt::async_client>(m_options.broker.clientUri(), m_clientId,
                                                    mqtt::create_options(MQTTVERSION_3_1_1));
    m_client->set_message_callback([this](mqtt::const_message_ptr message) {
        if (message)
            arrived(message->get_topic(), message->get_payload_str());
    });
    m_client->set_connection_lost_handler([this](const std::string&) {
        m_lost = true;
        wake();
    });
    m_worker = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

FleetSubscriber::~FleetSubscriber()
{
    m_worker.request_stop();
    wake();
    if (m_worker.joinable())
        m_worker.join();
    m_client.reset();
}

void FleetSubscriber::select(std::optional<std::string> recorderKey)
{
    {
        const std::lock_guard held(m_lock);
        m_wanted = std::move(recorderKey);
        m_selectionChanged = true;
    }
    m_wake.notify_all();
}

FleetSubscriber::Status FleetSubscriber::status() const
{
    const std::lock_guard held(m_lock);
    return m_status;
}

void FleetSubscriber::setStatus(bool connected, std::string text)
{
    const std::lock_guard held(m_lock);
    m_status.connected = connected;
    m_status.session = m_session.load();
    m_status.text = std::move(text);
}

std::string FleetSubscriber::lostText() const
{
    return "Fleet " + m_options.broker.text() + ": lost, trying again";
}

void FleetSubscriber::wake()
{
    {
        const std::lock_guard held(m_lock);
        m_woken = true;
    }
    m_wake.notify_all();
}

void FleetSubscriber::run(std::stop_token stop)
{
    try {
        ReconnectDelay delay(m_options.reconnectMin, m_options.reconnectMax);
        bool everConnected = false;
        while (!stop.stop_requested()) {
            std::string failure;
            if (!connect(failure)) {
                // One line for the whole outage: the reasons of the tries
                // after a loss would only make it flicker.
                setStatus(false, everConnected
                                     ? lostText()
                                     : "Fleet " + m_options.broker.text() + ": cannot connect (" +
                                           failure + "), trying again");
                std::unique_lock held(m_lock);
                m_wake.wait_for(held, stop, delay.next(), [] { return false; });
                continue;
            }
            delay.reset();
            setStatus(true, "Fleet " + m_options.broker.text() +
                                (everConnected ? ": connected again" : ""));
            everConnected = true;
            std::optional<std::string> subscribed;
            while (!stop.stop_requested() && !m_lost.load()) {
                subscribeSelection(subscribed);
                std::unique_lock held(m_lock);
                m_wake.wait(held, stop, [this] { return m_woken || m_selectionChanged; });
                m_woken = false;
            }
            if (m_lost.load())
                setStatus(false, lostText());
        }
        if (m_client->is_connected())
            m_client->disconnect()->wait_for(m_options.operationTimeout);
    } catch (...) {
        // Nothing leaves the worker; the station reads the last status.
    }
}

// Connects and subscribes to the states; a new session from then on.
bool FleetSubscriber::connect(std::string& failure)
{
    try {
        mqtt::connect_options options;
        options.set_mqtt_version(MQTTVERSION_3_1_1);
        options.set_clean_session(true);
        options.set_keep_alive_interval(m_options.keepAlive);
        options.set_connect_timeout(
            std::chrono::duration_cast<std::chrono::seconds>(m_options.operationTimeout));
        m_lost = false;
        // The session grows before the first message of the new connection
        // can arrive, so that everything the station takes from it is new.
        ++m_session;
        if (!m_client->connect(options)->wait_for(m_options.operationTimeout)) {
            failure = "no answer";
            return false;
        }
        for (const std::string& filter :
             {allGatewayStatesFilter(m_options.prefix), allRecorderStatesFilter(m_options.prefix)})
            if (!m_client->subscribe(filter, kQos)->wait_for(m_options.operationTimeout)) {
                failure = "no answer to subscribing";
                return false;
            }
        {
            const std::lock_guard held(m_lock);
            m_selectionChanged = true; // the selection is subscribed on this connection too
        }
        return true;
    } catch (const std::exception& error) {
        failure = reasonOf(error);
    }
    try {
        if (m_client->is_connected())
            m_client->disconnect()->wait_for(m_options.operationTimeout);
    } catch (const std::exception&) {
    }
    return false;
}

void FleetSubscriber::subscribeSelection(std::optional<std::string>& subscribed)
{
    std::optional<std::string> wanted;
    {
        const std::lock_guard held(m_lock);
        if (!m_selectionChanged)
            return;
        m_selectionChanged = false;
        wanted = m_wanted;
    }
    try {
        if (subscribed && subscribed != wanted) {
            m_client->unsubscribe(recorderEventsFilter(m_options.prefix, *subscribed))
                ->wait_for(m_options.operationTimeout);
            subscribed.reset();
        }
        if (wanted && wanted != subscribed && topicLevel(*wanted)) {
            m_client->subscribe(recorderEventsFilter(m_options.prefix, *wanted), kQos)
                ->wait_for(m_options.operationTimeout);
            subscribed = wanted;
        }
    } catch (const std::exception&) {
        // A lost connection: the next one subscribes again.
    }
}

void FleetSubscriber::arrived(const std::string& topicText, const std::string& payload)
{
    std::optional<FleetTopic> topic = parseTopic(m_options.prefix, topicText);
    if (!topic) {
        ++m_malformedTopics;
        return;
    }
    const std::optional<std::size_t> limit = payloadLimit(*topic, m_options.maxClipBytes);
    if (!limit || payload.size() > *limit) {
        ++m_refusedPayloads;
        return;
    }
    m_inbox.push(FleetMessage{m_session.load(), std::move(*topic), payload});
}

} // namespace fleet
