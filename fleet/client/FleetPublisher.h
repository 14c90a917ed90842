// FleetPublisher: what a gateway publishes to the fleet's broker (FleetTopics.h).
// Two connections (BrokerLink): one for the states, positions and event
// times, with the gateway's last will ("offline", retained); one for clips, so
// that a position never waits behind a clip.
//
// States. The gateway's own state is "online" after every connection of the
// first link, and every recorder state it holds now is published again then,
// so that the retained states are whole again after the broker was away. At
// the first connection, before it says itself online, the publisher reads the
// retained recorder states under its own name (an earlier run killed without
// its goodbye leaves "online" ones behind) and clears every one of a recorder
// it does not hold now.
//
// Events. An event published with its journal id is reported back by
// takeDelivered() once the broker has taken it (its PUBACK), so that the
// gateway drops it from its journal only then: neither a kill nor a broker
// that comes back without the session loses it. What waits for the broker is
// bounded: beyond kMaxBufferedStates + kMaxBufferedClips the oldest is given
// up (reported as delivered and counted in givenUp()).
//
// Threads: the gateway's thread calls the publishing functions; the first
// link's thread publishes the states again after each connection, and the
// client library's threads bring the retained states read at start and the
// deliveries. m_lock guards the held states and is held while their messages
// are handed to the client library, so that a state cleared at start never
// overtakes a newer one; the client library calls back holding its own lock,
// so what its threads touch has locks of its own, never held while calling
// it: m_sweepLock the stale keys found, m_deliveryLock the events waiting for
// the broker and those delivered. The counters are atomics.
#pragma once

#include "BrokerAddress.h"
#include "BrokerLink.h"
#include "FleetStates.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace fleet {

class FleetPublisher
{
public:
    // At start, the retained states read are taken as complete once none has
    // come for kSweepQuiet, and at the latest after kSweepLongest.
    static constexpr std::chrono::milliseconds kSweepQuiet{300};
    static constexpr std::chrono::milliseconds kSweepLongest{3000};
    // Messages each connection keeps while the broker is away.
    static constexpr int kMaxBufferedStates = 100000;
    static constexpr int kMaxBufferedClips = 64;

    struct Options
    {
        BrokerAddress broker;
        std::string prefix;
        std::string gateway;       // a name topicLevel takes
        std::string persistFolder; // the client library's store
        std::string since;         // the gateway's start, as its state tells it
        std::chrono::milliseconds firstDelay = ReconnectDelay::kFirst;
        std::chrono::milliseconds longestDelay = ReconnectDelay::kLongest;
        std::chrono::milliseconds sweepQuiet = kSweepQuiet;
        std::chrono::milliseconds sweepLongest = kSweepLongest;
        int maxBufferedStates = kMaxBufferedStates;
        int maxBufferedClips = kMaxBufferedClips;
    };

    // Throws std::runtime_error when the gateway's name cannot be a topic
    // level or the client library refuses the options.
    FleetPublisher(Options options, BrokerLink::Tell tell);
    ~FleetPublisher();
    FleetPublisher(const FleetPublisher&) = delete;
    FleetPublisher& operator=(const FleetPublisher&) = delete;

    // Starts both connections.
    void start();

    // The recorder's state, retained; an online one is held (published again
    // after each connection), an offline one lets it go. False when refused
    // (a key no topic can carry, or the client library's buffer is full).
    bool recorderState(const std::string& recorderKey, const RecorderState& state);
    // One packet's payload, QoS 1: clips on the second connection. A
    // journalId other than 0 comes back from takeDelivered() once the broker
    // took it, when this returns true; false: refused, not to wait for.
    bool event(const std::string& recorderKey, std::int32_t code,
               std::span<const std::uint8_t> payload, std::uint64_t journalId = 0);
    // The journal ids of the events the broker took (or that were given up)
    // since the last call.
    std::vector<std::uint64_t> takeDelivered();

    // The orderly goodbye: every held recorder offline, the gateway offline,
    // then waits up to flush for delivery and disconnects.
    void stop(std::chrono::milliseconds flush);

    std::uint64_t published() const { return m_published.load(); }
    std::uint64_t refused() const { return m_refused.load(); }
    // Recorder states of an earlier run cleared at start.
    std::uint64_t staleCleared() const { return m_staleCleared.load(); }
    // Events no longer waited for, as more were waiting than the buffers hold.
    std::uint64_t givenUp() const { return m_givenUp.load(); }

private:
    void stateLinkConnected(bool first);
    void sweepStaleStates();
    void retainedState(const std::string& topic, const std::string& payload, bool retained);
    bool count(bool accepted);
    void delivered(std::uint64_t journalId);

    const Options m_options;
    const BrokerLink::Tell m_tell;
    const std::string m_gatewayTopic;

    std::mutex m_lock;
    std::map<std::string, RecorderState> m_held; // by recorder key

    std::mutex m_sweepLock;
    std::condition_variable m_stateSeen;
    bool m_sweeping = false;
    std::set<std::string> m_staleKeys;
    std::chrono::steady_clock::time_point m_lastStateSeen;

    std::atomic<std::uint64_t> m_published{0};
    std::atomic<std::uint64_t> m_refused{0};
    std::atomic<std::uint64_t> m_staleCleared{0};
    std::atomic<std::uint64_t> m_givenUp{0};

    std::mutex m_deliveryLock;
    std::set<std::uint64_t> m_waiting; // journal ids published, not yet taken
    std::vector<std::uint64_t> m_delivered;

    std::unique_ptr<BrokerLink> m_states;
    std::unique_ptr<BrokerLink> m_clips;
};

} // namespace fleet
