// FleetLink: the station's side of watching a fleet. It owns the subscriber
// and the roster of the fleet and, at each dispatcher tick, applies what the
// broker sent: every pending state first, then the device lists updated once
// (removals and additions, not one login per tick), and the selected
// recorder's events put into the event queue as the receiver's callback would
// (text: the recorder's key; data: the payload and a zero byte), so that the
// dispatcher forwards its positions, shows its event times and plays its clips
// as for a recorder of its own. The registry's selection decides whose events
// the subscriber asks for.
//
// A new connection to the broker starts the roster afresh: the broker sends
// every retained state again, and a state the broker no longer holds (a
// gateway gone while the station was away) must not linger in the list. The
// list keeps showing the previous connection's recorders until the retained
// states have come (no new state for FleetSettle::quiet, or its limit after
// connecting, whichever is first; the broker sends them in bursts) and then
// changes in one go, so that neither a reconnection nor the first start shows
// a list being filled, and the operator's selection stays with its recorder.
//
// Threads: the user-interface thread, except inside the subscriber (see
// FleetSubscriber.h, which owns the inbox and its lock).
#pragma once

#include "FleetRoster.h"
#include "FleetSubscriber.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class Clock;
}

namespace monitor {

class DeviceRegistry;
class DispatcherView;
class HostEventQueue;
struct CONNECTIONINFO;

// How long a new connection's retained states are waited for.
struct FleetSettle
{
    std::chrono::milliseconds quiet{250};  // no state came for this long
    std::chrono::milliseconds limit{1500}; // since connecting
};

class FleetLink
{
public:
    // Told each new status line of the link (which broker, lost, back).
    using StatusShown = std::function<void(const std::string& text, bool connected)>;

    // Starts the subscriber. The registry, the view and the clock outlive the link.
    FleetLink(fleet::FleetSubscriber::Options options, DeviceRegistry& registry,
              DispatcherView& view, const platform::Clock& clock, StatusShown statusShown,
              FleetSettle settle = {});
    ~FleetLink();
    FleetLink(const FleetLink&) = delete;
    FleetLink& operator=(const FleetLink&) = delete;

    // One tick: the status, the states, the list, the selected recorder's events.
    void tick(HostEventQueue& queue);
    // The registry's selection moved to this key (empty: none).
    void selectionChanged(const std::string& key);
    // The entry a listed recorder's details are shown from.
    std::optional<CONNECTIONINFO> entryOf(const std::string& key) const;

    const fleet::FleetSubscriber& subscriber() const { return *m_subscriber; }
    const fleet::FleetRoster& roster() const { return m_roster; }
    // States refused: not readable, or not taken by the roster.
    std::uint64_t refusedStates() const { return m_refusedStates; }
    // Events of the selected recorder that found no room in the event queue.
    std::uint64_t droppedEvents() const { return m_droppedEvents; }

private:
    void startSession(std::uint64_t session);
    void apply(fleet::FleetMessage& message);
    void updateLists();

    DeviceRegistry& m_registry;
    DispatcherView& m_view;
    const platform::Clock& m_clock;
    const FleetSettle m_settle;
    StatusShown m_statusShown;
    std::string m_statusText;
    fleet::FleetRoster m_roster;
    std::uint64_t m_session = 0;
    bool m_listStale = false;
    // A new connection's retained states are still coming; since when, and
    // when the latest came (tick counts).
    bool m_settling = false;
    std::uint32_t m_sessionStart = 0;
    std::uint32_t m_lastStateTick = 0;
    std::uint64_t m_refusedStates = 0;
    std::uint64_t m_droppedEvents = 0;
    // The selected recorder's events of this tick, oldest first.
    std::vector<fleet::FleetMessage> m_events;
    std::unique_ptr<fleet::FleetSubscriber> m_subscriber;
};

} // namespace monitor
