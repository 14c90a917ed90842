// Applying the fleet's states to the device lists, and the selected
// recorder's events to the event queue.
#include "FleetLink.h"

#include "CONNECTIONINFO.h"
#include "Clock.h"
#include "DateTime.h"
#include "DeviceRegistry.h"
#include "DispatcherView.h"
#include "HostEventQueue.h"
#include "LocalTime.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace monitor {
namespace {

// "yyyy/mm/dd hh:mm:ss" as a gateway writes its login times.
std::optional<platform::LocalTime> parseSince(const std::string& text)
{
    platform::LocalTime time;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d/%2d/%2d %2d:%2d:%2d%c", &time.year, &time.month, &time.day,
                    &time.hour, &time.minute, &time.second, &tail) != 6)
        return std::nullopt;
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 ||
        time.minute > 59 || time.second > 59 || time.year < 1900)
        return std::nullopt;
    return time;
}

CONNECTIONINFO entryFrom(const std::string& key, const fleet::RecorderState& state)
{
    CONNECTIONINFO entry;
    entry.Key = key;
    const auto& d = state.device;
    entry.Info1 = d[0];
    entry.Info2 = d[1];
    entry.Info3 = d[2];
    entry.Department = d[3];
    entry.UserName = d[4];
    entry.Locate = d[5];
    entry.IdNo = d[6];
    if (const std::optional<platform::LocalTime> since = parseSince(state.since))
        entry.LoginTime = platform::toDateTimeMs(*since);
    else
        entry.LoginTime = platform::toDateTimeMs(platform::localNow());
    return entry;
}

} // namespace

FleetLink::FleetLink(fleet::FleetSubscriber::Options options, DeviceRegistry& registry,
                     DispatcherView& view, const platform::Clock& clock, StatusShown statusShown,
                     FleetSettle settle)
    : m_registry(registry), m_view(view), m_clock(clock), m_settle(settle),
      m_statusShown(std::move(statusShown)),
      m_subscriber(std::make_unique<fleet::FleetSubscriber>(std::move(options)))
{
}

FleetLink::~FleetLink() = default;

void FleetLink::tick(HostEventQueue& queue)
{
    const fleet::FleetSubscriber::Status status = m_subscriber->status();
    if (status.text != m_statusText) {
        m_statusText = status.text;
        if (m_statusShown)
            m_statusShown(m_statusText, status.connected);
    }
    if (status.connected && status.session > m_session)
        startSession(status.session);

    std::deque<fleet::FleetMessage> messages = m_subscriber->inbox().takeAll();
    bool statesCame = false;
    for (fleet::FleetMessage& message : messages) {
        if (message.session < m_session)
            continue; // an earlier connection's: the current one tells anew
        if (message.session > m_session)
            startSession(message.session);
        statesCame |= message.topic.kind != fleet::TopicKind::RecorderEvent;
        apply(message);
    }
    if (m_settling) {
        const std::uint32_t now = m_clock.tickCount();
        if (statesCame)
            m_lastStateTick = now;
        const auto sinceStart =
            std::chrono::milliseconds(static_cast<std::uint32_t>(now - m_sessionStart));
        const auto sinceState =
            std::chrono::milliseconds(static_cast<std::uint32_t>(now - m_lastStateTick));
        if (sinceState >= m_settle.quiet || sinceStart >= m_settle.limit)
            m_settling = false;
    }
    if (m_listStale && !m_settling)
        updateLists();

    if (m_events.empty())
        return;
    const std::string& selected = m_registry.lists().selectedKey();
    const auto held = queue.lock();
    for (fleet::FleetMessage& event : m_events) {
        // An event of the recorder selected before, still on its way.
        if (event.topic.recorderKey != selected)
            continue;
        event.payload.push_back('\0'); // the receiver's zero byte after every packet
        const auto* data = reinterpret_cast<const std::uint8_t*>(event.payload.data());
        if (!queue.tryPost(held, event.topic.recorderKey.c_str(), event.topic.code,
                           {data, event.payload.size()}))
            ++m_droppedEvents;
    }
    m_events.clear();
}

void FleetLink::startSession(std::uint64_t session)
{
    m_session = session;
    m_roster = fleet::FleetRoster();
    m_listStale = true;
    m_settling = true;
    m_sessionStart = m_lastStateTick = m_clock.tickCount();
}

void FleetLink::apply(fleet::FleetMessage& message)
{
    const fleet::FleetTopic& topic = message.topic;
    const bool cleared = message.payload.empty();
    bool taken = false;
    switch (topic.kind) {
    case fleet::TopicKind::GatewayState: {
        std::optional<fleet::GatewayState> state;
        if (!cleared && !(state = fleet::decodeGatewayState(message.payload)))
            break;
        taken = m_roster.applyGatewayState(topic.gateway, std::move(state));
        break;
    }
    case fleet::TopicKind::RecorderState: {
        // A key with a zero byte could not travel as an event's text.
        if (topic.recorderKey.find('\0') != std::string::npos)
            break;
        std::optional<fleet::RecorderState> state;
        if (!cleared && !(state = fleet::decodeRecorderState(message.payload)))
            break;
        taken = m_roster.applyRecorderState(topic.recorderKey, topic.gateway, std::move(state));
        break;
    }
    case fleet::TopicKind::RecorderEvent:
        m_events.push_back(std::move(message));
        return;
    }
    if (taken)
        m_listStale = true;
    else
        ++m_refusedStates;
}

// The lists follow the roster: a recorder gone or listed under another text is
// removed, and every online recorder not listed is appended, in key order. The
// selection stays with its recorder; when that one has gone, it moves to its
// neighbour, as after a logout.
void FleetLink::updateLists()
{
    m_listStale = false;
    DeviceLists& lists = m_registry.lists();
    const std::string selectedBefore = lists.selectedKey();
    const int positionBefore = lists.selected();
    const std::string shownBefore = lists.locateShownText();
    const bool listedBefore = lists.count() > 0;

    const auto online = m_roster.onlineRecorders();
    std::unordered_map<std::string, std::string> textOf;
    textOf.reserve(online.size());
    for (const auto& [key, state] : online)
        textOf.emplace(key, LocateIdText(entryFrom(key, state)));

    for (int p = lists.count() - 1; p >= 0; --p) {
        const auto found = textOf.find(lists.key(p));
        if (found == textOf.end() || found->second != lists.locateText(p))
            lists.remove(p);
    }
    std::unordered_set<std::string> listed;
    listed.reserve(static_cast<std::size_t>(lists.count()));
    for (int p = 0; p < lists.count(); ++p)
        listed.insert(lists.key(p));
    for (const auto& [key, state] : online)
        if (!listed.contains(key))
            lists.append(key, textOf[key]);

    if (lists.count() == 0) {
        lists.select(DeviceLists::kNone);
        if (listedBefore) {
            // The disabled list goes on showing what it showed before.
            lists.setLocateStyle(LocateStyle::FreeText);
            lists.setLocateEnabled(false);
            lists.setLocateFreeText(shownBefore);
        }
    } else {
        lists.setLocateStyle(LocateStyle::SelectionOnly);
        lists.setLocateEnabled(true);
        const int kept =
            selectedBefore.empty() ? DeviceLists::kNone : lists.indexOf(selectedBefore);
        if (kept != DeviceLists::kNone)
            lists.select(kept);
        else if (lists.selected() == DeviceLists::kNone)
            lists.select(std::clamp(positionBefore, 0, lists.count() - 1));
    }
    m_view.setStatusText(DispatcherView::Panel::Connections, std::to_string(lists.count()));
    m_registry.CmbBxMACIDChange();
}

void FleetLink::selectionChanged(const std::string& key)
{
    m_subscriber->select(key.empty() ? std::nullopt : std::optional<std::string>(key));
}

std::optional<CONNECTIONINFO> FleetLink::entryOf(const std::string& key) const
{
    const std::optional<fleet::RecorderState> state = m_roster.onlineState(key);
    if (!state)
        return std::nullopt;
    return entryFrom(key, *state);
}

} // namespace monitor
