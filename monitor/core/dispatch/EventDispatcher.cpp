// The dispatcher's tick, pass, handling by code and refresh.
#include "EventDispatcher.h"

#include "Archive.h"
#include "Clock.h"
#include "DateTime.h"
#include "DateTimeFormat.h"
#include "DeviceRegistry.h"
#include "EventText.h"
#include "GpsForwarder.h"
#include "HostEventQueue.h"
#include "StationTimer.h"
#include "StorageGuard.h"
#include "kavrel_events.h"

namespace monitor {
namespace {

namespace Code = kavrel::EventCode;

constexpr const char* kProcessing = "Processing...";
constexpr const char* kLogin = "Login";
constexpr const char* kPosition = "GPRMC";
constexpr const char* kVideo = "Video";
constexpr const char* kLogout = "Logout";

constexpr std::string_view kClockPattern = "yyyy.mm.dd, hh:nn:ss";
constexpr std::string_view kElapsedPattern = "hh:nn:ss";

} // namespace

EventDispatcher::EventDispatcher(Parts parts) : m_parts(std::move(parts)) {}

void EventDispatcher::Timer1Timer()
{
    m_parts.timer1.setEnabled(false);
    struct SwitchOnAgain
    {
        StationTimer& timer;
        ~SwitchOnAgain() { timer.setEnabled(true); }
    } const switchOnAgain{m_parts.timer1};
    try {
        const auto held = m_parts.queue.lock();
        do
            pass(held);
        while (m_parts.queue.queueFull());
    } catch (...) {
        // A failing step ends this tick's passes only; the event it failed on
        // has left the queue, and the next tick goes on with the next event.
    }
    if (m_guard) {
        try {
            m_guard->retry(m_parts.archive);
        } catch (...) {
            // Tried again on the next tick.
        }
    }
    countReceivingTick();
}

template <typename Lock> void EventDispatcher::pass(const Lock& held)
{
    const bool took = m_parts.queue.takeOne(held, [this](const RAWDATA& event) {
        setActivity(kProcessing);
        handle(event);
    });
    if (!took)
        setActivity("");
    if (static_cast<std::uint32_t>(m_parts.clock.tickCount() - m_lastRefreshTicks) >
        kRefreshAfterMs)
        refresh();
}

void EventDispatcher::handle(const RAWDATA& event)
{
    if (m_eventSeen)
        m_eventSeen(event);
    const std::string_view text = EventText(event.bytes());
    if (const std::string_view channel = kavrel::clipChannel(event.Code); !channel.empty()) {
        clip(event, channel);
        return;
    }
    switch (event.Code) {
    case Code::QUVEX_INFO:
        login(event, text);
        break;
    case Code::CMD_GPRMC_DATA:
        positionSentence(event, text);
        break;
    case Code::CMD_QUVEX_TIME_EVENT:
        textsOf(event.Key).eventTime = EventTimeOf(text).substr(0, kEventTimeTextMax);
        break;
    case Code::CONNECTION_CLOSED:
        logout(event);
        break;
    case Code::DATA_RECEIVED:
        dataReceived();
        break;
    default:
        // A time-out and any code without handling only show "Processing...".
        break;
    }
}

void EventDispatcher::login(const RAWDATA& event, std::string_view text)
{
    DeviceLists& lists = m_parts.registry.lists();
    const int listed = lists.indexOf(event.Key);
    if (listed != DeviceLists::kNone) {
        // The recorder dialled in again before its old connection ended: the
        // entry now belongs to the newer connection, whose logout alone removes it.
        lists.setConnection(listed, event.Connection);
    } else {
        // The entry first, so that the key and its display text join the
        // two lists together and the lists never differ in length.
        const DeviceRegistry::Registration registration =
            m_parts.registry.registerDevice(event.Key, text);
        lists.append(event.Key, registration.locateText, event.Connection);
        m_parts.view.setStatusText(DispatcherView::Panel::Connections,
                                   std::to_string(lists.count()));
        lists.setLocateStyle(LocateStyle::SelectionOnly);
        m_parts.view.processMessages();
        lists.setLocateEnabled(true);
        m_parts.view.processMessages();
        m_parts.archive.EnsureDeviceFolder(event.Key);
        if (lists.count() == 1)
            lists.select(0);
        m_parts.registry.CmbBxMACIDChange();
        setActivity(kLogin);
    }
    m_parts.armAlarm();
}

void EventDispatcher::positionSentence(const RAWDATA& event, std::string_view text)
{
    const StoreOutcome stored = m_parts.archive.StorePositionSentence(event.Key, text);
    if (m_guard)
        m_guard->archived(event.JournalId, stored);
    if (event.Key == m_parts.registry.lists().selectedKey()) {
        m_parts.gps.ForwardSelectedSentence(text, m_parts.registry.UserBusy());
        setActivity(kPosition);
    }
    m_parts.armAlarm();
}

void EventDispatcher::clip(const RAWDATA& event, std::string_view channel)
{
    std::string& channelText = textsOf(event.Key).channel;
    channelText = channel;
    const StoreOutcome stored = m_parts.archive.StoreClip(event.Key, event.bytes(), channelText);
    if (m_guard)
        m_guard->archived(event.JournalId, stored);
    setActivity(kVideo);
    m_parts.armAlarm();
}

void EventDispatcher::logout(const RAWDATA& event)
{
    DeviceLists& lists = m_parts.registry.lists();
    const std::string saved = lists.locateShownText();
    const int p = lists.indexOf(event.Key);
    // A connection that the recorder has since replaced by a newer one ends
    // without taking the recorder away.
    if (p == DeviceLists::kNone || lists.connection(p) != event.Connection)
        return;
    lists.remove(p);
    if (lists.count() > p)
        lists.select(p);
    else if (p > 0)
        lists.select(p - 1);
    else
        lists.select(DeviceLists::kNone);
    m_parts.registry.releaseDevice(event.Key);
    if (lists.count() == 0) {
        // The disabled list goes on showing what it showed before.
        lists.setLocateStyle(LocateStyle::FreeText);
        lists.setLocateEnabled(false);
        lists.setLocateFreeText(saved);
        m_parts.view.processMessages();
    }
    m_parts.view.setStatusText(DispatcherView::Panel::Connections, std::to_string(lists.count()));
    m_parts.registry.CmbBxMACIDChange();
    setActivity(kLogout);
}

void EventDispatcher::dataReceived()
{
    m_receivingVisible = true;
    m_parts.view.setReceivingVisible(true);
    m_receivingTicks = 0;
}

void EventDispatcher::countReceivingTick()
{
    if (!m_receivingVisible)
        return;
    if (++m_receivingTicks >= kReceivingTicks) {
        m_receivingVisible = false;
        m_parts.view.setReceivingVisible(false);
    }
}

const EventDispatcher::RecorderTexts& EventDispatcher::selectedTexts() const
{
    static const RecorderTexts kNone;
    const std::string& key = m_parts.registry.lists().selectedKey();
    if (key.empty())
        return kNone;
    const auto found = m_texts.find(key);
    return found == m_texts.end() ? kNone : found->second;
}

EventDispatcher::RecorderTexts& EventDispatcher::textsOf(const std::string& key)
{
    if (m_texts.size() >= kRememberedRecorders && !m_texts.contains(key)) {
        const DeviceLists& lists = m_parts.registry.lists();
        std::erase_if(m_texts, [&lists](const auto& entry) {
            return lists.indexOf(entry.first) == DeviceLists::kNone;
        });
    }
    return m_texts[key];
}

void EventDispatcher::refresh()
{
    // The caption tells of the selected recorder alone; with none selected,
    // or one that has sent no clip and no event time, it is empty.
    const RecorderTexts& texts = selectedTexts();
    m_eventCaption.clear();
    if (!texts.channel.empty())
        m_eventCaption = "Channel:" + texts.channel;
    if (!texts.eventTime.empty()) {
        // The caption names a channel exactly when a channel is known: an
        // event time that itself reads "Channel:" must not be appended to
        // again at every refresh.
        if (!texts.channel.empty())
            m_eventCaption += " ,Event time:" + texts.eventTime;
        else
            m_eventCaption = "Event time:" + texts.eventTime;
    }
    m_parts.view.setEventCaption(m_eventCaption);
    m_parts.view.centreEventCaption();
    m_lastRefreshTicks = m_parts.clock.tickCount();
    const platform::LocalTime now = m_parts.clock.now();
    m_parts.view.setStatusText(DispatcherView::Panel::Clock,
                               platform::formatDateTime(kClockPattern, now));

    const CONNECTIONINFO& selected = m_parts.registry.selectedEntry();
    if (!selected.Key.empty()) {
        const platform::DateTimeMs elapsed = platform::toDateTimeMs(now) - selected.LoginTime;
        m_parts.view.setElapsed(
            "Elapsed " +
            platform::formatDateTime(kElapsedPattern, platform::timeWithinDay(elapsed)));
        m_parts.gps.RefreshNavigationWindow(selected.Key);
    } else {
        // No recorder selected: no connected time to tell.
        m_parts.view.setElapsed({});
    }
}

void EventDispatcher::setActivity(const char* word)
{
    m_parts.view.setStatusText(DispatcherView::Panel::Activity, word);
}

} // namespace monitor
