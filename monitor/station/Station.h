// Station: the monitoring station without its window. It owns the services
// (event queue, journal and storage guard, device registry, archive and its
// retention, GPS forwarding, alarm, dispatcher, the receiver's start) and runs
// the start-up steps (FormCreate's list) and the timers' ticks; the window
// builds the controls, gives the station their views and timers, and calls
// the tick handlers from its timers.
//
// The station's log (StationLog) tells what happened for the operator to read
// afterwards: start and stop, logins and logouts, the alarm, the archive's
// failures and retention, the recorders' port and the GPS port.
//
// On a fleet (StationOptions::fleetBroker) the receiver is not started and
// nothing is journaled or archived: FleetLink lists the fleet's recorders and
// feeds the selected one's events into the same queue and dispatcher.
//
// Threading: the user-interface thread, except where said. The receiver
// library's threads reach the station through HostCallback, which touches only
// the event queue and the storage guard; the retention worker's reports and
// the alarm sound's tone ends come back through StationView::post. The
// storage guard and the retention worker write the station's log on their
// own threads; it serialises its lines itself.
#pragma once

#include "StationOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class AlarmSound;
class Clock;
class SingleInstanceLock;
class WindowSystem;
} // namespace platform

namespace monitor {

class Alarm;
class AlarmView;
class Archive;
class ClipViewer;
class DeviceDetailsView;
class DeviceRegistry;
class DispatchLog;
class DispatchTiming;
class DispatcherView;
class EventDispatcher;
class EventJournal;
class FleetLink;
class GpsForwarder;
class HostEventQueue;
class ListenRetry;
class RetentionWorker;
class StationLog;
class StationTimer;
class StationView;
class StorageGuard;
struct StationSettings;

class Station
{
public:
    struct Views
    {
        StationView& window;
        DeviceDetailsView& details;
        ClipViewer& clips;
        AlarmView& alarm;
        DispatcherView& dispatcher;
    };
    // The window's timers by their names; the station sets their intervals.
    struct Timers
    {
        StationTimer& Timer1;
        StationTimer& TmrAlarm;
        StationTimer& GPSTimer;
        StationTimer& InitGPSTimer;
        StationTimer& listenRetry;
        StationTimer& retention;
    };

    // Makes the registry, the GPS forwarding and the alarm; start-up runs in
    // FormCreate. The views and timers must outlive the station.
    Station(StationOptions options, Views views, Timers timers);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Start-up, in order. A second instance stops at its check; a missing idle
    // movie is told and start-up goes on; any other failing step is told and
    // ends start-up. What went wrong reaches StationView::tellStartupErrors.
    void FormCreate();
    // Stops the retries, the track replay, and closes the GPS port.
    void FormClose();
    // Timer1: one tick of the dispatcher, and the storage line; data that came
    // ends the notice that the receiver listens again.
    void Timer1Timer();
    // The listen retry's timer: one more try, or the end of that notice.
    void retryListening();
    // The retention timer, and "Confirm date".
    void requestRetention();
    void confirmDate();
    // "Save data to disk".
    void setSaveData(bool save);

    // Another process of this user runs the station: start-up stopped at its
    // single-instance check.
    bool isSecondInstance() const { return m_secondInstance; }
    const std::string& ProgramFolder() const { return m_programFolder; }
    // The names of the start-up steps in the order they ran.
    const std::vector<std::string>& startupTrace() const { return m_startupTrace; }
    // The receiver listens for recorders (false while its port cannot be used).
    bool Listening() const;

    bool UserBusy() const;
    void setUserBusy(bool busy);
    // The recorders, their selection and the device lists' handlers.
    DeviceRegistry& registry() const { return *m_registry; }
    // Exists from the start-up step BuildDayFolder on.
    Archive* archive() const { return m_archive.get(); }
    Alarm& alarm() const { return *m_alarm; }
    // Exists from the start-up step CreateQueueLock on.
    HostEventQueue* eventQueue() const { return m_queue.get(); }
    GpsForwarder& gpsForwarder() const { return *m_gps; }
    // Exists from the start-up step StartDispatchTimer on.
    EventDispatcher* dispatcher() const { return m_dispatcher.get(); }
    // The station watches a fleet through its broker.
    bool onFleet() const { return !m_options.fleetBroker.empty(); }
    // On a fleet, from the start-up step ConnectFleet on.
    FleetLink* fleetLink() const { return m_fleet.get(); }

private:
    void StepResetFloatingPoint();
    void StepSingleInstance();
    void StepCreateQueueLock();
    void StepSetProgramFolder();
    void StepLoadIdleMovie();
    void StepResetSharedState();
    void StepScreenSaverOff();
    void StepBuildDayFolder();
    void StepOpenGpsPort();
    void StepFreeDeviceTable();
    void StepRecoverJournal();
    void StepStartReceiver();
    void StepConnectFleet();
    void StepStartDispatchTimer();
    void StepResetGpsSending();

    std::int32_t startLibrary();
    // A line in the station's log, once it exists.
    void log(std::string_view kind, std::string_view details);
    void showStorageStatus();
    // Reads tessaro.ini and starts keeping the archive within its limits.
    StationSettings readSettings();
    void startRetention(const StationSettings& settings);

    StationOptions m_options;
    Views m_views;
    Timers m_timers;
    platform::Clock& m_clock;
    bool m_saveData = true;

    // From the start-up step SetProgramFolder on; declared before everything
    // that writes it, so that it outlives them.
    std::unique_ptr<StationLog> m_log;
    std::unique_ptr<DispatchLog> m_dispatchLog;
    std::unique_ptr<platform::WindowSystem> m_windowSystem;
    std::unique_ptr<GpsForwarder> m_gps;
    std::unique_ptr<DeviceRegistry> m_registry;
    std::unique_ptr<platform::AlarmSound> m_systemAlarmSound; // when none is given
    std::unique_ptr<Alarm> m_alarm;

    // Start-up state.
    bool m_secondInstance = false;
    std::unique_ptr<platform::SingleInstanceLock> m_instanceLock; // held for the station's life
    // The journal and its guard outlive the queue, whose callbacks use them.
    std::unique_ptr<EventJournal> m_journal;
    std::unique_ptr<StorageGuard> m_storageGuard;
    std::uint64_t m_storageShown = 0;
    std::unique_ptr<HostEventQueue> m_queue; // EventQueue with QueueLock
    std::string m_programFolder;
    std::vector<std::string> m_startupTrace;
    // Told once start-up has finished: the idle movie's failure.
    std::optional<std::string> m_idleMovieError;
    // What quvex.ini and tessaro.ini hold that cannot be used, for the window.
    std::vector<std::string> m_settingsFindings;
    std::unique_ptr<Archive> m_archive;
    std::unique_ptr<ListenRetry> m_listen;
    bool m_receiverGiven = false; // a test's receiver started
    std::unique_ptr<EventDispatcher> m_dispatcher;
    // On a fleet; gone before the registry and the views it uses.
    std::unique_ptr<FleetLink> m_fleet;
    // Each tick's duration, while STATION_DISPATCH_TIMING asks for it.
    std::unique_ptr<DispatchTiming> m_dispatchTiming;
    // Deletes the oldest day folders on a thread of its own; joined first in
    // the destructor, so that no report is posted once the station is going.
    std::unique_ptr<RetentionWorker> m_retention;
};

} // namespace monitor
