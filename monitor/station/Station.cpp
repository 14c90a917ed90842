// The station's services, its start-up steps in order, its ticks and its closing.
#include "Station.h"

#include "Alarm.h"
#include "AlarmSound.h"
#include "Archive.h"
#include "Clock.h"
#include "DataFolder.h"
#include "DeviceRegistry.h"
#include "DispatchLog.h"
#include "DispatchTiming.h"
#include "EventDispatcher.h"
#include "EventJournal.h"
#include "FleetLink.h"
#include "FloatingPoint.h"
#include "GpsForwarder.h"
#include "HostCallback.h"
#include "HostEventQueue.h"
#include "LibrarySettings.h"
#include "ListenRetry.h"
#include "Paths.h"
#include "RAWDATA.h"
#include "RetentionWorker.h"
#include "ScreenSaver.h"
#include "SingleInstanceLock.h"
#include "StandardError.h"
#include "StartupSequence.h"
#include "StationLog.h"
#include "StationSettings.h"
#include "StationTimer.h"
#include "StationView.h"
#include "StorageGuard.h"
#include "WindowSystem.h"
#include "kavrel.h"

#include <exception>
#include <stdexcept>
#include <string_view>
#include <variant>

namespace monitor {
namespace {

// The start-up stopped at its single-instance check.
struct SecondInstance
{
};

// A retention line for the station's log: without its "hh:mm:ss " stamp (the
// log has its own) and the "Archive: " every one of them starts with.
std::string_view retentionDetails(std::string_view line)
{
    constexpr std::string_view kStamp = "hh:mm:ss ";
    constexpr std::string_view kArchive = "Archive: ";
    if (line.size() > kStamp.size() && line[kStamp.size() - 1] == ' ')
        line.remove_prefix(kStamp.size());
    if (line.starts_with(kArchive))
        line.remove_prefix(kArchive.size());
    return line;
}

} // namespace

Station::Station(StationOptions options, Views views, Timers timers)
    : m_options(std::move(options)), m_views(views), m_timers(timers),
      m_clock(m_options.clock ? *m_options.clock : platform::systemClock())
{
    m_timers.Timer1.setEnabled(false);
    m_timers.Timer1.setInterval(EventDispatcher::kTickInterval);
    m_timers.retention.setEnabled(false);
    m_timers.retention.setInterval(m_options.retentionInterval);

    m_windowSystem = platform::openWindowSystem(m_options.navigationOnX11);
    m_gps =
        std::make_unique<GpsForwarder>(m_timers.GPSTimer, m_timers.InitGPSTimer, *m_windowSystem,
                                       GpsForwarder::Options{{}, m_options.gpsPortPath});
    m_gps->SetTextOutput([this](const std::string& windows1252) {
        std::string_view text = windows1252;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1); // the sentence's line end is not shown
        m_views.window.showGpsSentence(std::string(text));
    });
    m_gps->SetPortReport([this](const std::string& text) {
        tellStandardError(text);
        // Told as the port goes and as it comes back.
        log(m_gps->GpsPortOpen() ? LogKind::gpsBack : LogKind::gpsLost, text);
    });

    m_registry = std::make_unique<DeviceRegistry>(m_clock);
    m_registry->setDetailsView(&m_views.details);
    m_registry->setNavigationRetitle(
        [this](const std::string& key) { m_gps->RetitleNavigationWindow(key); });
    // Everything the window shows of a recorder follows the selection: its
    // sentences, its latest clip (or the idle movie); the caption follows at
    // the dispatcher's next refresh.
    m_registry->setSelectionChanged([this](const std::string& key) {
        m_gps->SelectionChanged();
        if (m_archive)
            m_archive->ShowLatestClip(key);
        if (m_fleet)
            m_fleet->selectionChanged(key);
    });

    platform::AlarmSound* sound = m_options.alarmSound;
    if (!sound) {
        // The tone ends on the sound's thread; the alarm hears of it on this one.
        m_systemAlarmSound = platform::makeSystemAlarmSound(
            {"default", [this] { m_views.window.beep(); },
             [this] { m_views.window.post([this] { m_alarm->ToneEnded(); }); }});
        sound = m_systemAlarmSound.get();
    }
    m_alarm = std::make_unique<Alarm>(m_timers.TmrAlarm, m_views.alarm, *sound);
    m_alarm->setChangeReport([this](AlarmChange change) {
        if (m_dispatchLog)
            m_dispatchLog->alarmChanged(change);
    });

    m_listen = std::make_unique<ListenRetry>(
        [this] { return startLibrary(); }, m_timers.listenRetry, m_options.port,
        m_options.listenRetry, m_options.listenNotice,
        [this](const std::string& text, bool listening) {
            m_views.window.showListening(text, listening);
            if (!text.empty())
                log(listening ? LogKind::portListening : LogKind::portFailed, text);
        });
}

Station::~Station()
{
    m_retention.reset(); // joined before anything its passes or reports use goes
}

void Station::FormCreate()
{
    StationView& window = m_views.window;
    StartupSequence steps;
    steps.add("ResetFloatingPoint", [this] { StepResetFloatingPoint(); });
    steps.add("SingleInstance", [this] { StepSingleInstance(); });
    steps.add("CreateQueueLock", [this] { StepCreateQueueLock(); });
    steps.add("LayOutSmallMovie", [&window] { window.layOutSmallMovie(); });
    steps.add("SetProgramFolder", [this] { StepSetProgramFolder(); });
    steps.add("LoadIdleMovie", [this] { StepLoadIdleMovie(); });
    steps.add("ResetSharedState", [this] { StepResetSharedState(); });
    steps.add("ClearTexts", [&window] { window.clearTexts(); });
    steps.add("ResetAlarmAndCaptions", [] {});
    steps.add("ShowEnlargeGlyph", [&window] { window.showEnlargeGlyph(); });
    steps.add("ForgetNavigationWindow", [] {});
    steps.add("ScreenSaverOff", [this] { StepScreenSaverOff(); });
    steps.add("BuildDayFolder", [this] { StepBuildDayFolder(); });
    steps.add("OpenGpsPort", [this] { StepOpenGpsPort(); });
    steps.add("FreeDeviceTable", [this] { StepFreeDeviceTable(); });
    steps.add("CreateClipStream", [] {});
    if (onFleet()) {
        steps.add("ConnectFleet", [this] { StepConnectFleet(); });
    } else {
        steps.add("RecoverJournal", [this] { StepRecoverJournal(); });
        steps.add("StartReceiver", [this] { StepStartReceiver(); });
    }
    steps.add("StartDispatchTimer", [this] { StepStartDispatchTimer(); });
    steps.add("ResetGpsSending", [this] { StepResetGpsSending(); });
    std::optional<std::string> stepError;
    try {
        steps.run([this](std::string_view name) { m_startupTrace.emplace_back(name); });
    } catch (const SecondInstance&) {
        return;
    } catch (const std::exception& error) {
        // Any other step that fails ends start-up there; the station still
        // opens its window and says why.
        stepError = error.what();
    }
    if (!m_secondInstance && !m_programFolder.empty()) {
        const StationSettings settings = readSettings();
        if (!stepError && m_archive && !onFleet())
            startRetention(settings);
    }
    if (!m_settingsFindings.empty())
        window.showSettingsProblems(m_settingsFindings);
    std::vector<std::string> errors;
    for (const auto& error : {m_idleMovieError, stepError})
        if (error)
            errors.push_back(*error);
    if (!errors.empty())
        window.tellStartupErrors(errors);
}

void Station::StepResetFloatingPoint()
{
    platform::resetFloatingPoint();
}

void Station::StepSingleInstance()
{
    m_instanceLock = platform::SingleInstanceLock::acquire(m_options.singleInstanceName);
    if (!m_instanceLock) {
        m_secondInstance = true;
        throw SecondInstance{};
    }
}

void Station::StepCreateQueueLock()
{
    m_queue = std::make_unique<HostEventQueue>();
}

void Station::StepSetProgramFolder()
{
    m_programFolder = m_options.programFolder.empty()
                          ? platform::programFolder()
                          : platform::withTrailingSeparator(m_options.programFolder);
    if (m_programFolder.empty())
        m_programFolder = "./";
    m_gps->SetProgramFolder(m_programFolder);
    // Its lines are dated by the system's clock: the storage guard and the
    // retention write them on their own threads.
    m_log = std::make_unique<StationLog>(m_programFolder, platform::systemClock());
    m_dispatchLog = std::make_unique<DispatchLog>(*m_log);
    log(LogKind::start, std::string(kStationTitle) + " in " + m_programFolder +
                            (onFleet() ? ", on the fleet " + m_options.fleetBroker
                                       : ", port " + std::to_string(m_options.port)));
}

void Station::log(std::string_view kind, std::string_view details)
{
    if (m_log)
        m_log->write(kind, details);
}

// A missing or unreadable idle movie is reported once start-up has finished,
// and start-up goes on: the receiver must serve the recorders whatever the
// idle picture. The movie view then stays black until a clip comes.
void Station::StepLoadIdleMovie()
{
    m_idleMovieError =
        m_views.window.loadIdleMovie(platform::shippedFile(m_programFolder, kIdleMovieName));
}

void Station::StepResetSharedState()
{
    setUserBusy(false);
}

void Station::StepScreenSaverOff()
{
    platform::switchScreenSaverOff();
}

void Station::StepBuildDayFolder()
{
    m_archive = std::make_unique<Archive>(m_programFolder, m_clock, m_registry->lists());
    m_archive->setClipViewer(&m_views.clips);
    m_archive->setIdleMovie(platform::shippedFile(m_programFolder, kIdleMovieName));
    m_archive->setSaveData(m_saveData);
    m_archive->BuildDayFolder();
}

void Station::StepOpenGpsPort()
{
    m_gps->SetMainWindow(m_views.window.nativeWindow());
    m_gps->OpenPort();
    if (!m_gps->PortRefusal().empty()) {
        tellStandardError(m_gps->PortRefusal());
        log(LogKind::gpsLost, m_gps->PortRefusal());
    }
}

void Station::StepFreeDeviceTable()
{
    m_registry->freeDeviceTable();
}

// Before any recorder is served: what the journal holds from the last run is
// archived, and from now on every event the archive keeps is journaled before
// the library acknowledges it.
void Station::StepRecoverJournal()
{
    m_journal = std::make_unique<EventJournal>(
        platform::joinPath(m_programFolder, EventJournal::kFileName));
    // The receive time is read on the library's threads: the system's clock.
    m_storageGuard =
        std::make_unique<StorageGuard>(*m_journal, platform::systemClock(), m_options.storageRetry,
                                       [this](const std::string& line) {
                                           tellStandardError(line);
                                           log(LogKind::storage, line);
                                       });
    m_storageGuard->setEnabled(m_saveData);
    m_storageGuard->recover(*m_archive);
    m_queue->setStorageGuard(m_storageGuard.get());
    if (m_options.showDataFolder)
        m_views.window.showStorageStatus("Archive in " + m_programFolder);
    showStorageStatus();
}

// The library takes the window's native handle and the port. When it cannot
// listen (another station or program holds the port), the operator is told
// why in the window's own line and on standard error, and the start is tried
// again every few seconds until it listens; the line then says so. No message
// box: it would stand for a state that has since passed.
void Station::StepStartReceiver()
{
    // The library reads quvex.ini beside the program, as the station's
    // program folder is, and tells what it cannot use only in its log and on
    // standard error; the window reads the same findings to show them.
    const kavrel::LibrarySettingsReading library = kavrel::readLibrarySettings(
        platform::joinPath(m_programFolder, kavrel::LibrarySettings::kFileName));
    m_settingsFindings.insert(m_settingsFindings.end(), library.findings.begin(),
                              library.findings.end());
    if (m_options.startReceiver) {
        m_options.startReceiver(reinterpret_cast<void*>(m_views.window.nativeWindow()),
                                m_options.port);
        m_receiverGiven = true;
        return;
    }
    m_listen->start();
}

// On a fleet the gateways archive; the station keeps only the preview of the
// selected recorder's latest clip, which the movie view plays. The list, the
// details and the events come from the broker from now on; the line that
// tells of listening tells of the broker instead.
void Station::StepConnectFleet()
{
    const auto address = fleet::parseBrokerAddress(m_options.fleetBroker);
    if (const auto* error = std::get_if<std::string>(&address))
        throw std::runtime_error("The fleet's broker " + m_options.fleetBroker +
                                 " cannot be used: " + *error);
    setSaveData(false);
    fleet::FleetSubscriber::Options options = m_options.fleet;
    options.broker = std::get<fleet::BrokerAddress>(address);
    m_fleet = std::make_unique<FleetLink>(std::move(options), *m_registry, m_views.dispatcher,
                                          m_clock, [this](const std::string& text, bool connected) {
                                              tellStandardError(text);
                                              m_views.window.showListening(text, connected);
                                          });
    m_registry->setEntrySource([this](const std::string& key) { return m_fleet->entryOf(key); });
}

std::int32_t Station::startLibrary()
{
    const std::int32_t result =
        GPRSInitial(reinterpret_cast<void*>(m_views.window.nativeWindow()), m_options.port);
    if (result == 0)
        GPRSRegisterCallbackInformation(&HostCallback);
    return result;
}

bool Station::Listening() const
{
    return m_receiverGiven || m_listen->listening();
}

void Station::retryListening()
{
    m_listen->tick();
}

// The dispatcher starts as the shared state's reset leaves it: no channel, no
// event time, no refresh yet, nothing being received.
void Station::StepStartDispatchTimer()
{
    m_dispatcher = std::make_unique<EventDispatcher>(
        EventDispatcher::Parts{*m_queue, m_timers.Timer1, *m_registry, *m_archive, *m_gps,
                               [this] { m_alarm->ArmAlarm(); }, m_views.dispatcher, m_clock});
    m_dispatchTiming = DispatchTiming::fromEnvironment();
    m_dispatcher->setStorageGuard(m_storageGuard.get());
    m_dispatcher->setEventSeen([this](const RAWDATA& event) { m_dispatchLog->seen(event); });
    m_timers.Timer1.setEnabled(true);
}

void Station::StepResetGpsSending()
{
    m_gps->ResetSentenceState();
}

void Station::FormClose()
{
    m_listen->stop();
    m_timers.retention.setEnabled(false);
    m_gps->Close();
    log(LogKind::stop, "orderly stop");
}

void Station::Timer1Timer()
{
    if (!m_dispatcher)
        return;
    if (m_fleet)
        m_fleet->tick(*m_queue);
    if (m_dispatchTiming)
        m_dispatchTiming->timeTick(*m_queue, *m_dispatcher);
    else
        m_dispatcher->Timer1Timer();
    if (m_dispatcher->ReceivingShown() && !m_fleet)
        m_listen->dataArrived();
    showStorageStatus();
}

void Station::setSaveData(bool save)
{
    if (m_fleet)
        save = false; // the gateways archive
    m_saveData = save;
    if (m_archive)
        m_archive->setSaveData(save);
    if (m_storageGuard)
        m_storageGuard->setEnabled(save);
}

bool Station::UserBusy() const
{
    return m_registry->UserBusy();
}

void Station::setUserBusy(bool busy)
{
    m_registry->setUserBusy(busy);
}

void Station::showStorageStatus()
{
    if (!m_storageGuard || m_storageGuard->statusGeneration() == m_storageShown)
        return;
    const StorageGuard::Status status = m_storageGuard->status();
    m_storageShown = status.generation;
    m_views.window.showStorageStatus(status.text);
}

// The settings file's problems are told at once on standard error, and in
// the window with the library's at the end of start-up, on a fleet too.
StationSettings Station::readSettings()
{
    StationSettings settings =
        readStationSettings(platform::joinPath(m_programFolder, kSettingsFileName));
    for (const std::string& problem : settings.problems)
        tellStandardError(problem);
    m_settingsFindings.insert(m_settingsFindings.end(), settings.problems.begin(),
                              settings.problems.end());
    return settings;
}

// The passes run on the worker's thread, asked for with the time of the
// station's clock (the one the archive names its days by) at start and every
// retention interval; what they tell comes back to the window's thread
// through post.
void Station::startRetention(const StationSettings& settings)
{
    m_retention = std::make_unique<RetentionWorker>(
        std::make_unique<ArchiveRetention>(m_programFolder, settings.retention),
        [this](std::vector<std::string> lines) {
            m_views.window.post([this, lines = std::move(lines)] {
                m_views.window.showRetention(lines, m_retention && m_retention->ageHeld());
            });
        },
        [this](const std::string& line) {
            tellStandardError(line);
            log(LogKind::retention, retentionDetails(line));
        });
    requestRetention();
    m_timers.retention.setEnabled(true);
}

void Station::requestRetention()
{
    if (m_retention)
        m_retention->requestPass(readClocks(m_clock));
}

void Station::confirmDate()
{
    if (!m_retention)
        return;
    m_retention->confirmDate();
    m_retention->requestPass(readClocks(m_clock));
}

} // namespace monitor
