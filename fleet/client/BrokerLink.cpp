// One broker connection: its thread, its retries and what it tells.
#include "BrokerLink.h"

#include <exception>
#include <mqtt/async_client.h>
#include <stdexcept>

namespace fleet {
namespace {

constexpr int kQos = 1;
// How often a connection attempt under way looks whether the link stops.
constexpr std::chrono::milliseconds kConnectSlice{100};

std::string secondsText(std::chrono::milliseconds interval)
{
    const long long ms = interval.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace

// Reports the tag a message was published with once the client library is done with it.
class BrokerLink::Listener final : public mqtt::iaction_listener
{
public:
    explicit Listener(BrokerLink& link) : m_link(link) {}

private:
    void on_success(const mqtt::token& token) override { report(token, true); }
    void on_failure(const mqtt::token& token) override { report(token, false); }
    void report(const mqtt::token& token, bool delivered)
    {
        const auto tag = reinterpret_cast<std::uintptr_t>(token.get_user_context());
        if (tag != 0 && m_link.m_delivered)
            m_link.m_delivered(tag, delivered);
    }

    BrokerLink& m_link;
};

BrokerLink::BrokerLink(Options options, Connected connected, Message message, Tell tell)
    : m_options(std::move(options)), m_connectedHandler(std::move(connected)),
      m_message(std::move(message)), m_tell(std::move(tell)),
      m_listener(std::make_unique<Listener>(*this))
{
    mqtt::create_options create(MQTTVERSION_3_1_1);
    // Kept while the broker is away, also before the first connection.
    create.set_send_while_disconnected(true, true);
    create.set_max_buffered_messages(m_options.maxBuffered);
    create.set_delete_oldest_messages(m_options.dropOldest);
    create.set_restore_messages(true);
    try {
        m_client = std::make_unique<mqtt::async_client>(m_options.uri, m_options.clientId, create,
                                                        m_options.persistFolder);
    } catch (const std::exception& error) {
        throw std::runtime_error("the MQTT client cannot be made for " + m_options.brokerText +
                                 ": " + error.what());
    }
    m_client->set_connection_lost_handler([this](const std::string& cause) {
        const std::lock_guard held(m_lock);
        m_connected = false;
        m_lost = true;
        m_lostCause = cause;
        m_wake.notify_all();
    });
    m_client->set_message_callback([this](mqtt::const_message_ptr received) {
        if (m_message && received)
            m_message(received->get_topic(), received->get_payload_str(), received->is_retained());
    });
}

BrokerLink::~BrokerLink()
{
    m_thread = {};
    try {
        if (m_client && m_client->is_connected())
            m_client->disconnect(0)->wait_for(kAnswerTimeout);
    } catch (...) {
        // Going away: nothing more to do with the broker.
    }
}

void BrokerLink::start()
{
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

bool BrokerLink::publish(const std::string& topic, std::string_view payload, bool retained,
                         std::uint64_t tag)
{
    static_assert(sizeof(std::uintptr_t) >= sizeof(std::uint64_t), "a tag travels as the context");
    try {
        if (tag == 0)
            m_client->publish(topic, payload.data(), payload.size(), kQos, retained);
        else
            m_client->publish(
                mqtt::make_message(topic, payload.data(), payload.size(), kQos, retained),
                reinterpret_cast<void*>(static_cast<std::uintptr_t>(tag)), *m_listener);
        if (!m_connected.load())
            ++m_publishedAway;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool BrokerLink::subscribe(const std::string& filter)
{
    try {
        return m_client->subscribe(filter, kQos)->wait_for(kAnswerTimeout);
    } catch (const std::exception&) {
        return false;
    }
}

bool BrokerLink::unsubscribe(const std::string& filter)
{
    try {
        return m_client->unsubscribe(filter)->wait_for(kAnswerTimeout);
    } catch (const std::exception&) {
        return false;
    }
}

void BrokerLink::stop(std::chrono::milliseconds flush)
{
    m_thread = {};
    try {
        if (!m_client->is_connected())
            return;
        const auto deadline = std::chrono::steady_clock::now() + flush;
        for (const auto& token : m_client->get_pending_delivery_tokens()) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero())
                break;
            token->wait_for(std::chrono::duration_cast<std::chrono::milliseconds>(left));
        }
        m_client->disconnect(0)->wait_for(kAnswerTimeout);
    } catch (const std::exception&) {
        // What is left stays in the client library's store for the next run.
    }
}

bool BrokerLink::connectOnce(const std::stop_token& stop, std::string& why)
{
    mqtt::connect_options options;
    options.set_mqtt_version(MQTTVERSION_3_1_1);
    options.set_clean_session(false);
    options.set_keep_alive_interval(m_options.keepAlive);
    options.set_connect_timeout(m_options.connectTimeout);
    if (m_options.will)
        options.set_will(
            mqtt::will_options(m_options.will->topic, m_options.will->payload, kQos, true));
    try {
        // The client library ends the attempt after connectTimeout; the wait
        // here is only a bound in case it does not, in slices, so that a stop
        // need not wait for it.
        const mqtt::token_ptr token = m_client->connect(options);
        const auto deadline = std::chrono::steady_clock::now() + m_options.connectTimeout * 2;
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < deadline)
            if (token->wait_for(kConnectSlice))
                return true;
        why = "no answer within " + secondsText(m_options.connectTimeout);
    } catch (const std::exception& error) {
        why = error.what();
    }
    return false;
}

void BrokerLink::run(std::stop_token stop)
{
    try {
        ReconnectDelay delay(m_options.firstDelay, m_options.longestDelay);
        bool everConnected = false;
        bool outageTold = false;
        while (!stop.stop_requested()) {
            std::string why;
            if (!connectOnce(stop, why)) {
                if (!outageTold) {
                    m_tell("cannot reach the broker " + m_options.brokerText + ": " + why +
                           "; trying again after " + secondsText(m_options.firstDelay) +
                           ", doubling up to " + secondsText(m_options.longestDelay));
                    outageTold = true;
                }
                std::unique_lock held(m_lock);
                m_wake.wait_for(held, stop, delay.next(), [] { return false; });
                continue;
            }
            delay.reset();
            {
                const std::lock_guard held(m_lock);
                m_lost = false;
                m_connected = true;
            }
            const std::uint64_t away = m_publishedAway.exchange(0);
            if (!everConnected)
                m_tell("connected to the broker " + m_options.brokerText + " as " +
                       m_options.clientId);
            else
                m_tell("the broker " + m_options.brokerText + " is back (" + m_options.clientId +
                       "); " + std::to_string(away) +
                       " messages published while it was away go out now, at most " +
                       std::to_string(m_options.maxBuffered) + " kept");
            outageTold = false;
            if (m_connectedHandler)
                m_connectedHandler(!everConnected);
            everConnected = true;
            std::unique_lock held(m_lock);
            m_wake.wait(held, stop, [this] { return m_lost; });
            if (m_lost) {
                m_tell("lost the broker " + m_options.brokerText + " (" + m_options.clientId + ")" +
                       (m_lostCause.empty() ? "" : ": " + m_lostCause) +
                       "; messages are kept until it is back, at most " +
                       std::to_string(m_options.maxBuffered) +
                       (m_options.dropOldest ? ", the oldest dropped beyond that"
                                             : ", newer ones refused beyond that"));
                outageTold = true;
            }
        }
    } catch (const std::exception& error) {
        m_tell(std::string("the broker connection stopped: ") + error.what());
    } catch (...) {
        m_tell("the broker connection stopped");
    }
}

} // namespace fleet
