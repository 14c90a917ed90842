// A station's side of the fleet as tests need it: an MQTT client that
// subscribes to a filter and keeps every message it receives, with waits that
// end at a deadline.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mqtt/async_client.h>
#include <mutex>
#include <string>
#include <vector>

namespace fleettest {

struct Received
{
    std::string topic;
    std::string payload;
    bool retained = false;
};

// Threads: the client library's thread appends; the test reads under m_lock.
class FleetSubscriber
{
public:
    static constexpr std::chrono::seconds kAnswerTimeout{10};

    FleetSubscriber(const std::string& uri, const std::string& filter)
        : m_client(uri, "fleet-test-subscriber-" + std::to_string(++s_count), nullptr)
    {
        m_client.set_message_callback([this](mqtt::const_message_ptr message) {
            const std::lock_guard held(m_lock);
            m_received.push_back(
                {message->get_topic(), message->get_payload_str(), message->is_retained()});
            m_arrived.notify_all();
        });
        mqtt::connect_options options;
        options.set_mqtt_version(MQTTVERSION_3_1_1);
        options.set_clean_session(true);
        m_client.connect(options)->wait_for(kAnswerTimeout);
        m_client.subscribe(filter, 1)->wait_for(kAnswerTimeout);
    }
    ~FleetSubscriber()
    {
        try {
            m_client.disconnect()->wait_for(kAnswerTimeout);
        } catch (...) {
        }
    }

    // Waits until some message received so far, from the from-th on,
    // satisfies match.
    bool waitFor(const std::function<bool(const Received&)>& match,
                 std::chrono::milliseconds timeout, std::size_t from = 0)
    {
        std::unique_lock held(m_lock);
        return m_arrived.wait_for(held, timeout, [&] {
            for (std::size_t i = from; i < m_received.size(); ++i)
                if (match(m_received[i]))
                    return true;
            return false;
        });
    }
    std::size_t count()
    {
        const std::lock_guard held(m_lock);
        return m_received.size();
    }
    std::vector<Received> received()
    {
        const std::lock_guard held(m_lock);
        return m_received;
    }

private:
    static inline std::atomic<int> s_count{0};
    mqtt::async_client m_client;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<Received> m_received;
};

} // namespace fleettest
