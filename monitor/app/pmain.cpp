// The main window: the views and timers it gives the station, the wiring of
// its controls to the station's handlers, and what it shows of the station.
// The controls as designed and their layout: Form1Controls.cpp.
#include "pmain.h"

#include "Alarm.h"
#include "BusyStateWatcher.h"
#include "ComboBoxDeviceListsView.h"
#include "DeviceRegistry.h"
#include "DropDownList.h"
#include "FittedText.h"
#include "Form1Design.h"
#include "FrameWatcher.h"
#include "GpsForwarder.h"
#include "LabelDeviceDetailsView.h"
#include "MessageBoxes.h"
#include "MovieClipViewer.h"
#include "MovieError.h"
#include "QtStationTimer.h"
#include "ScreenGeometry.h"
#include "SettingsNotice.h"
#include "StationFonts.h"
#include "TextCodec.h"
#include "WidgetAlarmView.h"
#include "WidgetDispatcherView.h"
#include "qtmovie.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace monitor {
namespace {

// Lines of retention kept in its tooltip.
constexpr std::size_t kRetentionLinesKept = 10;

} // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    // A dialog's frame: a caption with its close button and menu, neither
    // minimise nor maximise, and a size only the layout changes.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_screen(options.screen ? *options.screen : primaryScreen()),
      m_messageBoxes(options.messageBoxes ? *options.messageBoxes : windowMessageBoxes())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kStationTitle));
    setFont(windowFont());
    buildControls();
    buildStation(std::move(options));
    wireControls();
    // The native window exists from the start: the receiver library is given
    // its handle, and the frame margins count in the layout.
    create();
    FormCreate();
}

TForm1::~TForm1() = default;

// The station over the views of these controls. The forwarder finds the
// navigation window through X11 only when our own windows are there too;
// offscreen it finds none.
void TForm1::buildStation(WindowOptions options)
{
    const auto control = [this](QTimer* timer) -> StationTimer& {
        return *m_timerControls.emplace_back(std::make_unique<QtStationTimer>(*timer));
    };
    m_detailsView = std::make_unique<LabelDeviceDetailsView>(
        LabelDeviceDetailsView::Labels{LblUN, LblID, LblLoc, LblDept, LblCon, LblConStart});
    m_clipViewer = std::make_unique<MovieClipViewer>(*QTMvReceive);
    m_alarmView = std::make_unique<WidgetAlarmView>(*ImgAlarmCirc, *ImgClearAlarm, *RdBtnBuzzer,
                                                    *RdBtnSpeaker);
    m_dispatcherView = std::make_unique<WidgetDispatcherView>(
        WidgetDispatcherView::Widgets{
            {StatusPanels[0], StatusPanels[1], StatusPanels[2], StatusPanels[3]},
            LblSR,
            LblEventTime,
            LblElapse},
        [this] { centreEventCaption(); });
    options.navigationOnX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    m_station = std::make_unique<Station>(
        std::move(options),
        Station::Views{*this, *m_detailsView, *m_clipViewer, *m_alarmView, *m_dispatcherView},
        Station::Timers{control(Timer1), control(TmrAlarm), control(GPSTimer),
                        control(InitGPSTimer), control(m_listenRetryTimer),
                        control(m_retentionTimer)});
    // On a fleet the list holds hundreds of recorders, found by typing part of
    // a name; the gateways archive, so there is nothing to save here.
    m_listsView = std::make_unique<ComboBoxDeviceListsView>(m_station->registry(), *CmbBxMACID,
                                                            *CmbBxLocateID, m_station->onFleet());
    if (m_station->onFleet()) {
        ChckBxSaveData->setChecked(false);
        ChckBxSaveData->setEnabled(false);
    }
    // A frame of another size than the layout counted with: lay out again.
    m_frameWatcher = new FrameWatcher(*this, [this] { applyMovieLayout(m_movieSize); });
    // Installed last, it sees a move before the frame watcher lays out again.
    m_busyWatcher =
        new BusyStateWatcher(*this, [this](bool busy) { m_station->setUserBusy(busy); });
}

// The controls and timers to the station's handlers.
void TForm1::wireControls()
{
    Station& s = *m_station;
    connect(BtBtnMvSize, &QPushButton::clicked, this, &TForm1::BtBtnMvSizeClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(GPSTimer, &QTimer::timeout, this, [&s] { s.gpsForwarder().GPSTimerTimer(); });
    connect(InitGPSTimer, &QTimer::timeout, this, [&s] { s.gpsForwarder().InitGPSTimerTimer(); });
    connect(m_listenRetryTimer, &QTimer::timeout, this, [&s] { s.retryListening(); });
    connect(m_retentionTimer, &QTimer::timeout, this, [&s] { s.requestRetention(); });
    connect(BtnConfirmDate, &QPushButton::clicked, this, [this, &s] {
        BtnConfirmDate->hide();
        s.confirmDate();
    });
    for (DropDownList* list : {CmbBxMACID, CmbBxLocateID}) {
        connect(list, &DropDownList::droppedDown, this,
                [&s] { s.registry().CmbBxMACIDDropDown(); });
        connect(list, &DropDownList::closedUp, this, [&s] { s.registry().CmbBxMACIDCloseUp(); });
    }
    connect(ChckBxSaveData, &QCheckBox::toggled, this,
            [&s](bool ticked) { s.setSaveData(ticked); });
    connect(TmrAlarm, &QTimer::timeout, this, [&s] { s.alarm().TmrAlarmTimer(); });
    connect(SpdBtnClearAlarm, &QPushButton::clicked, this,
            [&s] { s.alarm().SpdBtnClearAlarmClick(); });
    connect(ChckBxAlarm, &QCheckBox::toggled, this,
            [&s](bool ticked) { s.alarm().ChckBxAlarmClick(ticked); });
    connect(RdBtnSpeaker, &QRadioButton::toggled, this, [&s](bool speaker) {
        s.alarm().setSoundChoice(speaker ? AlarmSoundChoice::Speaker : AlarmSoundChoice::Buzzer);
    });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

QString TForm1::listenText() const
{
    return LblListen->isHidden() ? QString() : LblListen->text();
}

std::uintptr_t TForm1::nativeWindow()
{
    return static_cast<std::uintptr_t>(winId());
}

void TForm1::layOutSmallMovie()
{
    applyMovieLayout(kSmallMovie);
}

std::optional<std::string> TForm1::loadIdleMovie(const std::string& path)
{
    try {
        QTMvReceive->setFileName(QString::fromStdString(path));
    } catch (const movieview::MovieError& error) {
        return error.text().toStdString();
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

void TForm1::clearTexts()
{
    for (QLabel* l : {LblCon, LblElapse, LblConStart, LblEventTime, LblUN, LblID, LblLoc, LblDept})
        l->clear();
    CmbBxMACID->setCurrentIndex(-1);
    CmbBxLocateID->setCurrentIndex(-1);
}

void TForm1::showEnlargeGlyph()
{
    showSizeGlyph(SizeGlyph::Enlarge);
}

void TForm1::showListening(const std::string& text, bool listening)
{
    if (text.empty()) {
        LblListen->hide();
        return;
    }
    LblListen->setText(QString::fromStdString(text));
    setTextColour(LblListen, listening ? kClearBlue : kAlarmRed);
    LblListen->show();
}

void TForm1::showStorageStatus(const std::string& status)
{
    const QString text = QString::fromLocal8Bit(status);
    LblStorage->setToolTip(text);
    LblStorage->setText(
        LblStorage->fontMetrics().elidedText(text, Qt::ElideRight, LblStorage->width()));
    LblStorage->setVisible(!text.isEmpty());
}

void TForm1::showRetention(const std::vector<std::string>& lines, bool ageHeld)
{
    for (const std::string& line : lines)
        m_retentionLines.push_back(QString::fromLocal8Bit(line));
    if (m_retentionLines.size() > kRetentionLinesKept)
        m_retentionLines.erase(m_retentionLines.begin(),
                               m_retentionLines.end() - kRetentionLinesKept);
    QStringList all(m_retentionLines.begin(), m_retentionLines.end());
    LblRetention->setToolTip(all.join(QLatin1Char('\n')));
    LblRetention->setText(LblRetention->fontMetrics().elidedText(
        m_retentionLines.back(), Qt::ElideRight, LblRetention->width()));
    LblRetention->show();
    // Every hold and its end come with a line.
    BtnConfirmDate->setVisible(ageHeld);
    BtnConfirmDate->raise();
}

void TForm1::showSettingsProblems(const std::vector<std::string>& lines)
{
    std::vector<QString> shown;
    for (const std::string& line : lines)
        shown.push_back(QString::fromLocal8Bit(line));
    m_settingsNotice->addLines(shown);
}

void TForm1::showGpsSentence(const std::string& windows1252)
{
    // A sentence fits; the text of a refused port names a path, cut to fit.
    showFitted(*LabelGPRMC, QString::fromStdString(platform::windows1252ToUtf8(windows1252)),
               LabelGPRMC->width());
}

// Start-up runs while the window is made, before it is shown: the boxes come
// once the event loop runs, over the window, which is seen from the start.
void TForm1::tellStartupErrors(const std::vector<std::string>& errors)
{
    post([this, errors] {
        for (const std::string& error : errors)
            m_messageBoxes.showError(this, QString::fromLatin1(kStationTitle),
                                     withClosingFullStop(QString::fromLocal8Bit(error)));
    });
}

// A queued call to this window: dropped when the window is gone first.
void TForm1::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void TForm1::beep()
{
    QApplication::beep();
}

} // namespace monitor
