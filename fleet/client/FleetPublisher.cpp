// The gateway's publishing: topics, retained states, the stale states of an
// earlier run, and the goodbye.
#include "FleetPublisher.h"

#include "FleetTopics.h"
#include "kavrel_events.h"

#include <stdexcept>
#include <utility>

namespace fleet {
namespace {

std::string levelOrThrow(std::string_view name)
{
    std::optional<std::string> level = topicLevel(name);
    if (!level)
        throw std::runtime_error("the gateway's name \"" + std::string(name) +
                                 "\" cannot be a topic level (empty or longer than " +
                                 std::to_string(kMaxNameBytes) + " bytes)");
    return *level;
}

} // namespace

FleetPublisher::FleetPublisher(Options options, BrokerLink::Tell tell)
    : m_options(std::move(options)), m_tell(std::move(tell)),
      m_gatewayTopic(gatewayStateTopic(m_options.prefix, m_options.gateway))
{
    const std::string level = levelOrThrow(m_options.gateway);
    const auto linkOptions = [this, &level](const char* role, int maxBuffered, bool dropOldest) {
        BrokerLink::Options link;
        link.uri = m_options.broker.clientUri();
        link.brokerText = m_options.broker.text();
        link.clientId = "tessaro-" + level + "-" + role;
        link.persistFolder = m_options.persistFolder;
        link.maxBuffered = maxBuffered;
        link.dropOldest = dropOldest;
        link.firstDelay = m_options.firstDelay;
        link.longestDelay = m_options.longestDelay;
        return link;
    };
    BrokerLink::Options states = linkOptions("states", m_options.maxBufferedStates, true);
    states.will = BrokerLink::Will{m_gatewayTopic,
                                   encodeGatewayState({false, m_options.gateway, m_options.since})};
    m_states = std::make_unique<BrokerLink>(
        std::move(states), [this](bool first) { stateLinkConnected(first); },
        [this](const std::string& topic, const std::string& payload, bool retained) {
            retainedState(topic, payload, retained);
        },
        m_tell);
    // A clip the buffer has no room for is refused, not one kept before it.
    m_clips = std::make_unique<BrokerLink>(linkOptions("clips", m_options.maxBufferedClips, false),
                                           nullptr, nullptr, m_tell);
    // A message the client library gave up is not taken out of the journal:
    // the next start publishes it again.
    const auto onDelivered = [this](std::uint64_t journalId, bool taken) {
        if (taken)
            delivered(journalId);
    };
    m_states->setDelivered(onDelivered);
    m_clips->setDelivered(onDelivered);
}

FleetPublisher::~FleetPublisher() = default;

void FleetPublisher::start()
{
    m_states->start();
    m_clips->start();
}

bool FleetPublisher::count(bool accepted)
{
    ++(accepted ? m_published : m_refused);
    return accepted;
}

bool FleetPublisher::recorderState(const std::string& recorderKey, const RecorderState& state)
{
    if (!topicLevel(recorderKey))
        return count(false);
    const std::lock_guard held(m_lock);
    if (state.online)
        m_held[recorderKey] = state;
    else
        m_held.erase(recorderKey);
    return count(
        m_states->publish(recorderStateTopic(m_options.prefix, recorderKey, m_options.gateway),
                          encodeRecorderState(state), true));
}

bool FleetPublisher::event(const std::string& recorderKey, std::int32_t code,
                           std::span<const std::uint8_t> payload, std::uint64_t journalId)
{
    if (!topicLevel(recorderKey))
        return count(false);
    const std::string topic = recorderEventTopic(m_options.prefix, recorderKey, code);
    const std::string_view bytes(reinterpret_cast<const char*>(payload.data()), payload.size());
    BrokerLink& link = kavrel::clipChannel(code).empty() ? *m_states : *m_clips;
    if (journalId != 0) {
        // Waited for before it can be delivered, which may come at once.
        const std::lock_guard held(m_deliveryLock);
        m_waiting.insert(journalId);
        const std::size_t bound = static_cast<std::size_t>(m_options.maxBufferedStates) +
                                  static_cast<std::size_t>(m_options.maxBufferedClips);
        while (m_waiting.size() > bound) {
            m_delivered.push_back(*m_waiting.begin());
            m_waiting.erase(m_waiting.begin());
            ++m_givenUp;
        }
    }
    const bool accepted = link.publish(topic, bytes, false, journalId);
    if (!accepted && journalId != 0) {
        const std::lock_guard held(m_deliveryLock);
        m_waiting.erase(journalId);
    }
    return count(accepted);
}

void FleetPublisher::delivered(std::uint64_t journalId)
{
    const std::lock_guard held(m_deliveryLock);
    if (m_waiting.erase(journalId) > 0)
        m_delivered.push_back(journalId);
}

std::vector<std::uint64_t> FleetPublisher::takeDelivered()
{
    const std::lock_guard held(m_deliveryLock);
    return std::exchange(m_delivered, {});
}

void FleetPublisher::stop(std::chrono::milliseconds flush)
{
    {
        const std::lock_guard held(m_lock);
        for (auto& [key, state] : m_held) {
            state.online = false;
            m_states->publish(recorderStateTopic(m_options.prefix, key, m_options.gateway),
                              encodeRecorderState(state), true);
        }
        m_held.clear();
    }
    m_states->publish(m_gatewayTopic,
                      encodeGatewayState({false, m_options.gateway, m_options.since}), true);
    const auto deadline = std::chrono::steady_clock::now() + flush;
    m_clips->stop(flush);
    m_states->stop(std::max(std::chrono::milliseconds(0),
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now())));
}

// On the first link's thread.
void FleetPublisher::stateLinkConnected(bool first)
{
    if (first)
        sweepStaleStates();
    const std::lock_guard held(m_lock);
    m_states->publish(m_gatewayTopic,
                      encodeGatewayState({true, m_options.gateway, m_options.since}), true);
    for (const auto& [key, state] : m_held)
        m_states->publish(recorderStateTopic(m_options.prefix, key, m_options.gateway),
                          encodeRecorderState(state), true);
}

// The broker sends the retained states right after it takes the
// subscription; they are complete once none has come for a while.
void FleetPublisher::sweepStaleStates()
{
    const std::string filter =
        m_options.prefix + "/recorder/+/state/" + *topicLevel(m_options.gateway);
    {
        const std::lock_guard sweep(m_sweepLock);
        m_sweeping = true;
        m_staleKeys.clear();
    }
    const bool subscribed = m_states->subscribe(filter);
    std::set<std::string> stale;
    {
        std::unique_lock sweep(m_sweepLock);
        const auto longest = std::chrono::steady_clock::now() + m_options.sweepLongest;
        m_lastStateSeen = std::chrono::steady_clock::now();
        while (subscribed && std::chrono::steady_clock::now() < longest) {
            const auto quietEnd = m_lastStateSeen + m_options.sweepQuiet;
            if (std::chrono::steady_clock::now() >= quietEnd)
                break;
            m_stateSeen.wait_until(sweep, std::min(quietEnd, longest));
        }
        m_sweeping = false;
        stale = std::move(m_staleKeys);
    }
    if (subscribed)
        m_states->unsubscribe(filter);
    else
        m_tell("the recorder states of an earlier run could not be read; they stay as they are");
    std::uint64_t cleared = 0;
    {
        const std::lock_guard held(m_lock);
        for (const std::string& key : stale)
            if (!m_held.contains(key) &&
                m_states->publish(recorderStateTopic(m_options.prefix, key, m_options.gateway), "",
                                  true))
                ++cleared;
    }
    m_staleCleared += cleared;
    if (cleared > 0)
        m_tell(std::to_string(cleared) + " recorder states left by an earlier run cleared");
}

// On the client library's thread.
void FleetPublisher::retainedState(const std::string& topic, const std::string& payload,
                                   bool retained)
{
    // Only what the broker kept: our own states published meanwhile come live.
    if (!retained || payload.empty())
        return;
    const std::optional<FleetTopic> parsed = parseTopic(m_options.prefix, topic);
    if (!parsed || parsed->kind != TopicKind::RecorderState || parsed->gateway != m_options.gateway)
        return;
    const std::lock_guard sweep(m_sweepLock);
    if (!m_sweeping)
        return;
    m_staleKeys.insert(parsed->recorderKey);
    m_lastStateSeen = std::chrono::steady_clock::now();
    m_stateSeen.notify_all();
}

} // namespace fleet
