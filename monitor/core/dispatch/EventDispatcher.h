// EventDispatcher: the handler of the window's 20 ms timer (Timer1). Each tick
// takes at most one event from the event queue and acts on it by its code:
// a login lists the recorder, a position sentence is archived and, for the
// selected recorder, forwarded to the virtual GPS port, a clip is archived and
// shown, a logout removes the recorder. Once more than a second has passed
// since the last refresh, the tick also refreshes the clock, the selected
// recorder's connected time, the caption above the movie and the navigation
// window. The caption tells of the selected recorder only: each recorder's
// latest clip channel and event time are kept apart.
//
// Threads: the user-interface thread only. A tick holds QueueLock from before
// its first pass to after its last, through the handling and the refresh:
// the event it handles is the ring's slot itself. Library threads that report
// meanwhile wait in HostCallback, and with them their recorders' acknowledgements.
//
// Re-entry: the tick switches Timer1 off first and on again last, so the
// message processing inside a login or logout cannot start another tick; a
// take nested inside a take would take nothing anyway. However a tick ends,
// even by an exception from a step, QueueLock is left and Timer1 is on again.
#pragma once

#include "DispatcherView.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace platform {
class Clock;
}

namespace monitor {

class Archive;
class DeviceRegistry;
class GpsForwarder;
class HostEventQueue;
class StationTimer;
class StorageGuard;
struct RAWDATA;

class EventDispatcher
{
public:
    static constexpr std::chrono::milliseconds kTickInterval{20};
    // A refresh runs once more than this has passed since the last one.
    static constexpr std::uint32_t kRefreshAfterMs = 1000;
    // LblSR stays visible for this many ticks after the last data-received event.
    static constexpr int kReceivingTicks = 50;
    // The longest event time kept, in bytes: an event time is a date and a
    // time of day; whatever a record holds beyond this is not shown.
    static constexpr std::size_t kEventTimeTextMax = 64;
    // Recorders whose latest channel and event time are remembered at most;
    // beyond it those of recorders no longer listed are forgotten.
    static constexpr std::size_t kRememberedRecorders = 256;

    struct Parts
    {
        HostEventQueue& queue;
        StationTimer& timer1;
        DeviceRegistry& registry;
        Archive& archive;
        GpsForwarder& gps;
        std::function<void()> armAlarm;
        DispatcherView& view;
        const platform::Clock& clock;
    };

    explicit EventDispatcher(Parts parts);

    // One tick of Timer1.
    void Timer1Timer();

    // Told of each journaled event's archiving, and asked every tick to store
    // again what the archive could not take; null for none.
    void setStorageGuard(StorageGuard* guard) { m_guard = guard; }
    // Told of each event taken, before it is handled (the station's log);
    // none by default.
    using EventSeen = std::function<void(const RAWDATA& event)>;
    void setEventSeen(EventSeen seen) { m_eventSeen = std::move(seen); }

    // The selected recorder's channel of its latest clip and its latest event
    // time; empty when none is selected or it has sent none.
    const std::string& ChannelText() const { return selectedTexts().channel; }
    const std::string& EventTimeText() const { return selectedTexts().eventTime; }
    std::uint32_t LastRefreshTicks() const { return m_lastRefreshTicks; }
    int ReceivingTicks() const { return m_receivingTicks; }
    // "Receiving......" is shown: data came within the last kReceivingTicks.
    bool ReceivingShown() const { return m_receivingVisible; }

private:
    template <typename Lock> void pass(const Lock& held);
    void handle(const RAWDATA& event);
    void login(const RAWDATA& event, std::string_view text);
    void positionSentence(const RAWDATA& event, std::string_view text);
    void clip(const RAWDATA& event, std::string_view channel);
    void logout(const RAWDATA& event);
    void dataReceived();
    void refresh();
    void countReceivingTick();
    void setActivity(const char* word);

    // What the caption tells of one recorder.
    struct RecorderTexts
    {
        std::string channel;   // ChannelText of its latest clip
        std::string eventTime; // EventTimeText of its latest event time
    };
    const RecorderTexts& selectedTexts() const;
    RecorderTexts& textsOf(const std::string& key);

    Parts m_parts;
    // By recorder key, so that the caption tells only of the selected recorder.
    std::map<std::string, RecorderTexts, std::less<>> m_texts;
    StorageGuard* m_guard = nullptr;
    EventSeen m_eventSeen;
    std::string m_eventCaption;
    std::uint32_t m_lastRefreshTicks = 0;
    int m_receivingTicks = 0;
    bool m_receivingVisible = false;
};

} // namespace monitor
