// TForm1: the station's one window. It builds its controls, lays them out
// around the movie, runs the start-up steps and wires the controls and timers
// to the classes that do the work (event queue, dispatcher, registry, archive,
// GPS forwarding, alarm). The window holds no logic of its own beyond placing
// what those classes decide.
//
// Threading: the user-interface thread only. The receiver library's threads
// reach the program through HostCallback, which touches only the event queue.
#pragma once

#include "MovieLayout.h"

#include <QBasicTimer>
#include <QMargins>
#include <QPoint>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;

namespace platform {
class AlarmSound;
class Clock;
class SingleInstanceLock;
class WindowSystem;
} // namespace platform

namespace movieview {
class TQTMovie;
}

namespace monitor {

class Alarm;
class Archive;
class ComboBoxDeviceListsView;
class DeviceRegistry;
class DispatchTiming;
class DropDownList;
class EventDispatcher;
class WidgetDispatcherView;
class GpsForwarder;
class LabelDeviceDetailsView;
class MovieClipViewer;
class QtStationTimer;
class WidgetAlarmView;
class HostEventQueue;
class EventJournal;
class StorageGuard;
class RetentionWorker;
class MessageBoxes;
class ScreenGeometry;
class StartupSequence;

// The caption of the window and the program's title.
inline constexpr const char* kStationTitle = "Corvane V3.16.01";
// The TCP port the recorders call.
inline constexpr std::int32_t kStationPort = 9600;
inline constexpr const char* kSingleInstanceName = "Tessaro_MUTEX";
inline constexpr const char* kIdleMovieName = "nopicture.mov";

struct StationOptions
{
    std::int32_t port = kStationPort;
    // Folder with a trailing separator; empty: the folder of the program file.
    std::string programFolder;
    ScreenGeometry* screen = nullptr;     // none: the primary screen
    MessageBoxes* messageBoxes = nullptr; // none: modal message boxes
    platform::Clock* clock = nullptr;     // none: the system's clocks
    // None: the system's sounds. A sound given here has its tone ends
    // reported by the test, through alarm().ToneEnded().
    platform::AlarmSound* alarmSound = nullptr;
    // The single-instance lock; tests running side by side take one each.
    std::string singleInstanceName = kSingleInstanceName;
    // The virtual GPS port's device; empty: the path "\\.\VGPSIn" maps to.
    std::string gpsPortPath;
    // Starts the receiver on the port and registers HostCallback with it;
    // none: the receiver library's exports, GPRSInitial and
    // GPRSRegisterCallbackInformation. Tests give a receiver with short time-outs.
    std::function<void(void* window, std::int32_t port)> startReceiver;
    // How often the receiver library is started again while its port cannot
    // be used (taken by another program).
    std::chrono::milliseconds listenRetry = std::chrono::seconds(5);
    // How often a recorder held while the archive cannot be written is tried
    // again (StorageGuard::kRetryInterval unless a test wants it shorter).
    std::chrono::milliseconds storageRetry{1000};
    // How often the archive is kept within the limits of tessaro.ini
    // (RetentionWorker::kInterval, a minute, unless a test wants it shorter).
    std::chrono::milliseconds retentionInterval{60000};
};

class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // Creates the controls and runs FormCreate.
    explicit TForm1(StationOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Another process of this user runs the station: FormCreate stopped at its
    // single-instance check. The program ends without showing this window.
    bool isSecondInstance() const { return m_secondInstance; }
    const std::string& ProgramFolder() const { return m_programFolder; }
    bool UserBusy() const;
    void setUserBusy(bool busy);
    // The recorders, their selection and the device lists' handlers.
    DeviceRegistry& registry() const { return *m_registry; }
    // Exists from the start-up step BuildDayFolder on.
    Archive* archive() const { return m_archive.get(); }
    Alarm& alarm() const { return *m_alarm; }
    HostEventQueue* eventQueue() const { return m_queue.get(); }
    movieview::TQTMovie* movieView() const { return QTMvReceive; }
    GpsForwarder& gpsForwarder() const { return *m_gps; }
    // Exists from the start-up step StartDispatchTimer on.
    EventDispatcher* dispatcher() const { return m_dispatcher.get(); }

    // The receiver library listens for recorders (false while its port
    // cannot be used, between tries).
    bool Listening() const { return m_listening; }
    // What the window says about listening: why it does not, or that it does
    // again; empty when there is nothing to say.
    QString listenText() const;

    // The names of the start-up steps in the order they ran.
    const std::vector<std::string>& startupTrace() const { return m_startupTrace; }

    void BtBtnMvSizeClick();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMovieArea();
    void buildReceivingBand();
    void buildDevicePanel();
    void buildAlarmGroup();
    void buildDetailsPanel();
    void buildGpsBand();
    void buildGpsForwarding();
    void buildStatusBar();
    void wireControls();
    void wireRegistryArchiveAndAlarm();
    void stackBottomBands();

    // FormCreate: the start-up steps, in order.
    void FormCreate();
    void StepResetFloatingPoint();
    void StepSingleInstance();
    void StepCreateQueueLock();
    void StepLayOutSmallMovie();
    void StepSetProgramFolder();
    void StepLoadIdleMovie();
    void StepResetSharedState();
    void StepClearTexts();
    void StepResetAlarmAndCaptions();
    void StepShowEnlargeGlyph();
    void StepForgetNavigationWindow();
    void StepScreenSaverOff();
    void StepBuildDayFolder();
    void StepOpenGpsPort();
    void StepFreeDeviceTable();
    void StepCreateClipStream();
    void StepRecoverJournal();
    void StepStartReceiver();
    void StepStartDispatchTimer();
    void StepResetGpsSending();

    void FormClose();
    void Timer1Timer();
    // Starts the receiver library on the port; answers GPRSInitial's result.
    std::int32_t startLibrary();
    void retryListening();
    void tellNotListening(std::int32_t reason);

    void applyMovieLayout(PanelSize movie);
    void showSizeGlyph(SizeGlyph glyph);
    void centreEventCaption();
    void followFrame();
    void showStorageStatus();
    // Reads tessaro.ini and starts keeping the archive within its limits.
    void startRetention();
    void showRetention(const std::vector<std::string>& lines);

    StationOptions m_options;
    ScreenGeometry& m_screen;
    MessageBoxes& m_messageBoxes;
    platform::Clock& m_clock;

    // Controls, parented to this window, which deletes them.
    QLabel* LblEventTime;
    // Whether the archive can be written, and what was recovered at start.
    QLabel* LblStorage;
    std::uint64_t m_storageShown = 0;
    QPushButton* BtBtnMvSize;
    QFrame* Panel1;
    movieview::TQTMovie* QTMvReceive;
    QLabel* ImgAlarmCirc;
    QFrame* Panel4;
    QLabel* LblSR;
    QLabel* LblListen; // why the station does not listen, or that it does again
    // The archive's latest deletion or settings problem; its tooltip the last few.
    QLabel* LblRetention;
    std::vector<QString> m_retentionLines;
    QPushButton* BtnConfirmDate; // shown while deletion by age waits for the clock
    QFrame* Panel2;
    QLabel* Label1;
    DropDownList* CmbBxLocateID;
    QLabel* LblElapse;
    QLabel* LblCon;
    QLabel* LblConStart;
    DropDownList* CmbBxMACID;
    QCheckBox* ChckBxSaveData;
    QGroupBox* GroupBox1;
    QFrame* Bevel1;
    QCheckBox* ChckBxAlarm;
    QRadioButton* RdBtnBuzzer;
    QRadioButton* RdBtnSpeaker;
    QLabel* ImgClearAlarm;
    QFrame* ShpClearAlarm;
    QPushButton* SpdBtnClearAlarm;
    QFrame* Panel3;
    QLabel* Label2;
    QLabel* LblUN;
    QLabel* Label4;
    QLabel* LblID;
    QLabel* Label3;
    QLabel* LblLoc;
    QLabel* Label5;
    QLabel* LblDept;
    QFrame* Panel5;
    QLabel* Label6;
    QLabel* LabelGPRMC;
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[4];

    QTimer* Timer1;
    QTimer* TmrAlarm;
    QTimer* GPSTimer;
    QTimer* InitGPSTimer;
    QTimer* m_listenRetryTimer; // runs while the port cannot be used
    QTimer* m_retentionTimer;   // asks for a retention pass, once a minute

    // GPS forwarding, driven by GPSTimer and InitGPSTimer, showing in LabelGPRMC.
    std::unique_ptr<platform::WindowSystem> m_windowSystem;
    std::unique_ptr<QtStationTimer> m_gpsTimerControl;
    std::unique_ptr<QtStationTimer> m_initGpsTimerControl;
    std::unique_ptr<GpsForwarder> m_gps;
    // The dispatcher behind Timer1, with its view in this window's widgets.
    std::unique_ptr<QtStationTimer> m_timer1Control;
    std::unique_ptr<WidgetDispatcherView> m_dispatcherView;
    std::unique_ptr<EventDispatcher> m_dispatcher;
    // Each tick's duration, while STATION_DISPATCH_TIMING asks for it.
    std::unique_ptr<DispatchTiming> m_dispatchTiming;

    // Start-up state.
    bool m_secondInstance = false;
    std::unique_ptr<platform::SingleInstanceLock> m_instanceLock; // held for the process's life
    // The journal and its guard outlive the queue, whose callbacks use them.
    std::unique_ptr<EventJournal> m_journal;
    std::unique_ptr<StorageGuard> m_storageGuard;
    std::unique_ptr<HostEventQueue> m_queue; // EventQueue with QueueLock
    std::string m_programFolder;
    std::vector<std::string> m_startupTrace;
    // The idle movie's failure, shown once start-up has finished.
    std::optional<QString> m_idleMovieError;
    // Why the receiver cannot listen, shown once start-up has finished.
    std::optional<QString> m_listenError;
    bool m_listening = false;

    // The frame the window manager draws around the client area, as last
    // applied; the layout's outer sizes include it.
    QMargins m_frameMargins;
    QBasicTimer m_frameWatch;
    int m_frameChecks = 0;
    QBasicTimer m_dragWatch; // runs while the user drags the window
    PanelSize m_movieSize = kSmallMovie;
    // Where the layout last put the window; a move elsewhere is the user's.
    QPoint m_placedAt;
    // The device registry (which holds UserBusy), the archive and the alarm,
    // shown in the controls through their views.
    std::unique_ptr<DeviceRegistry> m_registry;
    std::unique_ptr<ComboBoxDeviceListsView> m_listsView;
    std::unique_ptr<LabelDeviceDetailsView> m_detailsView;
    std::unique_ptr<MovieClipViewer> m_clipViewer;
    std::unique_ptr<Archive> m_archive;
    std::unique_ptr<QtStationTimer> m_alarmTimer;
    std::unique_ptr<WidgetAlarmView> m_alarmView;
    std::unique_ptr<platform::AlarmSound> m_systemAlarmSound; // when none is given
    std::unique_ptr<Alarm> m_alarm;
    // Deletes the oldest day folders on a thread of its own; joined in the
    // destructor, before the controls its reports reach are gone. Its reports
    // come to this window queued, on the user-interface thread.
    std::unique_ptr<RetentionWorker> m_retention;
};

} // namespace monitor
