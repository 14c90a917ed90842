// TForm1: the station's one window. It builds its controls, lays them out
// around the movie, and gives the Station (which owns the services and runs
// the start-up steps and the ticks) their views and timers; it places what
// the station decides and holds no logic of its own.
//
// Threading: the user-interface thread only. The receiver library's threads
// reach the program through HostCallback, which touches only the event queue.
#pragma once

#include "MovieLayout.h"
#include "Station.h"
#include "StationView.h"

#include <QWidget>
#include <memory>
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

namespace movieview {
class TQTMovie;
}

namespace monitor {

class BusyStateWatcher;
class FrameWatcher;
class ComboBoxDeviceListsView;
class DropDownList;
class LabelDeviceDetailsView;
class MessageBoxes;
class MovieClipViewer;
class QtStationTimer;
class ScreenGeometry;
class SettingsNotice;
class WidgetAlarmView;
class WidgetDispatcherView;

// The station's options and where its window shows.
struct WindowOptions : StationOptions
{
    ScreenGeometry* screen = nullptr;     // none: the primary screen
    MessageBoxes* messageBoxes = nullptr; // none: the window's own message boxes
};

class TForm1 : public QWidget, private StationView
{
    Q_OBJECT

public:
    // Creates the controls and the station, and runs FormCreate.
    explicit TForm1(WindowOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    Station& station() const { return *m_station; }
    // Another process of this user runs the station: FormCreate stopped at its
    // single-instance check. The program ends without showing this window.
    bool isSecondInstance() const { return m_station->isSecondInstance(); }
    const std::string& ProgramFolder() const { return m_station->ProgramFolder(); }
    bool UserBusy() const { return m_station->UserBusy(); }
    void setUserBusy(bool busy) { m_station->setUserBusy(busy); }
    DeviceRegistry& registry() const { return m_station->registry(); }
    Archive* archive() const { return m_station->archive(); }
    Alarm& alarm() const { return m_station->alarm(); }
    HostEventQueue* eventQueue() const { return m_station->eventQueue(); }
    movieview::TQTMovie* movieView() const { return QTMvReceive; }
    GpsForwarder& gpsForwarder() const { return m_station->gpsForwarder(); }
    EventDispatcher* dispatcher() const { return m_station->dispatcher(); }
    bool Listening() const { return m_station->Listening(); }
    // What the window says about listening: why it does not, or that it does
    // again; empty when there is nothing to say.
    QString listenText() const;
    const std::vector<std::string>& startupTrace() const { return m_station->startupTrace(); }

    void BtBtnMvSizeClick();

protected:
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
    void buildStatusBar();
    void buildTimers();
    void buildStation(WindowOptions options);
    void wireControls();
    void stackBottomBands();

    void FormCreate() { m_station->FormCreate(); }
    void FormClose() { m_station->FormClose(); }
    void Timer1Timer() { m_station->Timer1Timer(); }

    void applyMovieLayout(PanelSize movie);
    void showSizeGlyph(SizeGlyph glyph);
    void centreEventCaption();

    // StationView
    std::uintptr_t nativeWindow() override;
    void layOutSmallMovie() override;
    std::optional<std::string> loadIdleMovie(const std::string& path) override;
    void clearTexts() override;
    void showEnlargeGlyph() override;
    void showListening(const std::string& text, bool listening) override;
    void showStorageStatus(const std::string& text) override;
    void showRetention(const std::vector<std::string>& lines, bool ageHeld) override;
    void showSettingsProblems(const std::vector<std::string>& lines) override;
    void showGpsSentence(const std::string& windows1252) override;
    void tellStartupErrors(const std::vector<std::string>& errors) override;
    void post(std::function<void()> work) override;
    void beep() override;

    ScreenGeometry& m_screen;
    MessageBoxes& m_messageBoxes;

    // Controls, parented to this window, which deletes them.
    QLabel* LblEventTime;
    QLabel* LblStorage;               // whether the archive can be written, and what was recovered
    SettingsNotice* m_settingsNotice; // over the movie, until the operator closes it
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
    QTimer* m_retentionTimer;   // asks for a retention pass

    // The frame the window manager draws around the client area, which the
    // layout's outer sizes include, and the operator's busy state.
    FrameWatcher* m_frameWatcher;
    BusyStateWatcher* m_busyWatcher;
    PanelSize m_movieSize = kSmallMovie;

    // The station's timers and views over the controls; the station after
    // them, since it uses them until it goes, and the device lists' view after
    // the station, since it binds itself to the registry.
    std::vector<std::unique_ptr<QtStationTimer>> m_timerControls;
    std::unique_ptr<LabelDeviceDetailsView> m_detailsView;
    std::unique_ptr<MovieClipViewer> m_clipViewer;
    std::unique_ptr<WidgetAlarmView> m_alarmView;
    std::unique_ptr<WidgetDispatcherView> m_dispatcherView;
    std::unique_ptr<Station> m_station;
    std::unique_ptr<ComboBoxDeviceListsView> m_listsView;
};

} // namespace monitor
