// The main window: its controls as designed, their layout, the start-up steps
// and the closing.
#include "pmain.h"

#include "Alarm.h"
#include "Archive.h"
#include "Clock.h"
#include "ComboBoxDeviceListsView.h"
#include "DeviceRegistry.h"
#include "DispatchTiming.h"
#include "DropDownList.h"
#include "EventDispatcher.h"
#include "EventJournal.h"
#include "FloatingPoint.h"
#include "GpsForwarder.h"
#include "HostCallback.h"
#include "HostEventQueue.h"
#include "LabelDeviceDetailsView.h"
#include "MessageBoxes.h"
#include "MovieClipViewer.h"
#include "MovieError.h"
#include "Paths.h"
#include "QtStationTimer.h"
#include "RetentionWorker.h"
#include "ScreenGeometry.h"
#include "ScreenSaver.h"
#include "SingleInstanceLock.h"
#include "StartupSequence.h"
#include "StationArt.h"
#include "StationFonts.h"
#include "StationSettings.h"
#include "StorageGuard.h"
#include "TextCodec.h"
#include "WidgetAlarmView.h"
#include "WidgetDispatcherView.h"
#include "WindowSystem.h"
#include "kavrel.h"
#include "qtmovie.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTimerEvent>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace monitor {
namespace {

using namespace std::chrono_literals;

constexpr auto kDispatchInterval = 20ms;      // Timer1
constexpr auto kAlarmInterval = 1000ms;       // TmrAlarm
constexpr auto kGpsRepeatInterval = 2000ms;   // GPSTimer
constexpr auto kTrackReplayInterval = 1000ms; // InitGPSTimer
// How often, and for how long after the window shows, its frame is looked at.
constexpr auto kFrameCheckInterval = 100ms;
constexpr int kFrameChecks = 20;
// A drag by the caption has ended when the window has not moved for this long.
constexpr auto kDragSettles = 250ms;

// Heights of the bands at the bottom of the window, as designed.
constexpr int kReceivingBandHeight = 35; // Panel4
constexpr int kReceivingLabelHeight = 33;
// The archive's retention line along the band's bottom edge.
constexpr int kRetentionLabelHeight = 12;
constexpr int kRetentionFontPixels = 10;
// Lines of retention kept in its tooltip.
constexpr std::size_t kRetentionLinesKept = 10;
// "Confirm date" at the right end of the retention line, while age deletion waits.
constexpr int kConfirmDateWidth = 80;
constexpr int kDevicePanelHeight = 98;  // Panel2
constexpr int kAlarmGroupHeight = 41;   // GroupBox1
constexpr int kDetailsPanelHeight = 36; // Panel3
constexpr int kGpsBandHeight = 25;      // Panel5
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanelWidths[4] = {160, 90, 45, 50};

constexpr int kEventCaptionPixels = 13;
constexpr int kIndicatorPixels = 21;

const QColor kMaroon(128, 0, 0);
const QColor kCream(255, 251, 240);
const QColor kAlarmRed(Qt::red);
const QColor kClearBlue(Qt::blue);

// The start-up stopped at its single-instance check.
struct SecondInstance
{
};

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* l = named(new QLabel(text, parent), name);
    l->move(left, top);
    l->adjustSize();
    return l;
}

// A value label: shows its own name until start-up clears it.
QLabel* valueLabel(QWidget* parent, const char* name, int left, int top)
{
    return label(parent, name, QString::fromLatin1(name), left, top);
}

QFrame* band(QWidget* parent, const char* name, int height, QFrame::Shape shape)
{
    auto* f = named(new QFrame(parent), name);
    f->setFrameStyle(shape | QFrame::Raised);
    f->setFixedHeight(height);
    return f;
}

// A hidden frame of the alarm's art in this colour, scaled to the rectangle.
QLabel* alarmFrameLabel(QWidget* parent, const char* name, const QRect& rect, const QColor& colour)
{
    auto* l = named(new QLabel(parent), name);
    l->setGeometry(rect);
    l->setScaledContents(true);
    l->setPixmap(alarmFrame(colour, l->size()));
    l->hide();
    return l;
}

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}

} // namespace

TForm1::TForm1(StationOptions options, QWidget* parent)
    // A dialog's frame: a caption with its close button and menu, neither
    // minimise nor maximise, and a size only the layout changes.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_options(std::move(options)),
      m_screen(m_options.screen ? *m_options.screen : primaryScreen()),
      m_messageBoxes(m_options.messageBoxes ? *m_options.messageBoxes : modalMessageBoxes()),
      m_clock(m_options.clock ? *m_options.clock : platform::systemClock())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kStationTitle));
    setFont(designedFont(kWindowFontFamily, kWindowFontPixels));
    buildControls();
    buildGpsForwarding();
    wireControls();
    // The native window exists from the start: the receiver library is given
    // its handle, and the frame margins count in the layout.
    create();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::buildControls()
{
    buildMovieArea();
    buildReceivingBand();
    buildDevicePanel();
    buildDetailsPanel();
    buildGpsBand();
    buildStatusBar();

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kDispatchInterval);
    TmrAlarm = named(new QTimer(this), "TmrAlarm");
    TmrAlarm->setInterval(kAlarmInterval);
    GPSTimer = named(new QTimer(this), "GPSTimer");
    GPSTimer->setInterval(kGpsRepeatInterval);
    GPSTimer->start();
    InitGPSTimer = named(new QTimer(this), "InitGPSTimer");
    InitGPSTimer->setInterval(kTrackReplayInterval);
    InitGPSTimer->setProperty("Tag", 0);
    InitGPSTimer->start();
    m_listenRetryTimer = named(new QTimer(this), "ListenRetryTimer");
    m_listenRetryTimer->setInterval(m_options.listenRetry);
    connect(m_listenRetryTimer, &QTimer::timeout, this, &TForm1::retryListening);
    m_retentionTimer = named(new QTimer(this), "RetentionTimer");
    m_retentionTimer->setInterval(m_options.retentionInterval);
}

void TForm1::buildMovieArea()
{
    LblEventTime = label(this, "LblEventTime", QString(), 6, 8);
    QFont bold = designedFont(kWindowFontFamily, kEventCaptionPixels);
    bold.setBold(true);
    LblEventTime->setFont(bold);

    // Between the caption and the movie, in red, only while there is something to say.
    LblStorage = named(new QLabel(this), "LblStorage");
    LblStorage->setGeometry(6, 24, 420, 14);
    setTextColour(LblStorage, kAlarmRed);
    LblStorage->hide();

    BtBtnMvSize = named(new QPushButton(this), "BtBtnMvSize");
    BtBtnMvSize->setGeometry(6, 40, 26, 25);
    BtBtnMvSize->setIconSize(QSize(kGlyphSize, kGlyphSize));

    // The alarm frame lies under the movie frame, which it surrounds.
    ImgAlarmCirc = alarmFrameLabel(this, "ImgAlarmCirc", QRect(50, 22, 342, 262), kAlarmRed);

    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(60, 32, 322, 242);

    QTMvReceive = named(new movieview::TQTMovie(Panel1), "QTMvReceive");
    QTMvReceive->setGeometry(1, 1, 320, 240);
    QTMvReceive->setAutoRewind(true);
    QTMvReceive->setKeepScale(false);
    QTMvReceive->setLooping(false);
    QTMvReceive->setColor(Qt::black);
    // Above the blinking alarm frame, whose top edge it crosses.
    LblStorage->raise();
}

void TForm1::buildReceivingBand()
{
    Panel4 = band(this, "Panel4", kReceivingBandHeight, QFrame::NoFrame);
    LblSR = named(new QLabel(QStringLiteral("Receiving......"), Panel4), "LblSR");
    LblSR->setGeometry(0, 0, 428, kReceivingLabelHeight);
    LblSR->setAlignment(Qt::AlignCenter);
    QFont indicator = designedFont(kIndicatorFontFamily, kIndicatorPixels);
    indicator.setItalic(true);
    LblSR->setFont(indicator);
    setTextColour(LblSR, Qt::blue);
    LblSR->hide();
    LblListen = named(new QLabel(Panel4), "LblListen");
    LblListen->setGeometry(0, 0, 428, kReceivingLabelHeight);
    LblListen->setAlignment(Qt::AlignCenter);
    LblListen->setWordWrap(true);
    setTextColour(LblListen, kAlarmRed);
    LblListen->hide();
    LblRetention = named(new QLabel(Panel4), "LblRetention");
    LblRetention->setGeometry(0, kReceivingBandHeight - kRetentionLabelHeight, 428,
                              kRetentionLabelHeight);
    LblRetention->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LblRetention->setFont(designedFont(kWindowFontFamily, kRetentionFontPixels));
    setTextColour(LblRetention, kMaroon);
    LblRetention->hide();
    BtnConfirmDate =
        named(new QPushButton(QStringLiteral("Confirm date"), Panel4), "BtnConfirmDate");
    BtnConfirmDate->setFont(designedFont(kWindowFontFamily, kRetentionFontPixels));
    BtnConfirmDate->setToolTip(
        QStringLiteral("The date and time of this computer are right: delete by age again"));
    BtnConfirmDate->hide();
}

void TForm1::buildDevicePanel()
{
    Panel2 = band(this, "Panel2", kDevicePanelHeight, QFrame::Panel);
    Label1 = label(Panel2, "Label1", QStringLiteral("Locate_ID"), 8, 8);
    CmbBxLocateID = named(new DropDownList(Panel2), "CmbBxLocateID");
    CmbBxLocateID->move(64, 6);
    CmbBxLocateID->setFixedWidth(247);
    CmbBxLocateID->setEnabled(false);
    LblElapse = valueLabel(Panel2, "LblElapse", 318, 8);
    LblCon = valueLabel(Panel2, "LblCon", 8, 30);
    LblConStart = valueLabel(Panel2, "LblConStart", 138, 30);
    CmbBxMACID = named(new DropDownList(Panel2), "CmbBxMACID");
    CmbBxMACID->move(51, 33);
    CmbBxMACID->setFixedWidth(247);
    CmbBxMACID->setEnabled(false);
    CmbBxMACID->hide();
    ChckBxSaveData =
        named(new QCheckBox(QStringLiteral("Save data to disk"), Panel2), "ChckBxSaveData");
    ChckBxSaveData->setGeometry(318, 27, 107, 17);
    ChckBxSaveData->setChecked(true);
    buildAlarmGroup();
}

void TForm1::buildAlarmGroup()
{
    GroupBox1 = named(new QGroupBox(Panel2), "GroupBox1");
    GroupBox1->setFixedHeight(kAlarmGroupHeight);
    Bevel1 = named(new QFrame(GroupBox1), "Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(3, 10, 334, 26);
    ChckBxAlarm = named(new QCheckBox(QStringLiteral("Alarm"), GroupBox1), "ChckBxAlarm");
    ChckBxAlarm->move(8, 15);
    ChckBxAlarm->setChecked(true);
    RdBtnBuzzer = named(new QRadioButton(QStringLiteral("Buzzer"), GroupBox1), "RdBtnBuzzer");
    RdBtnBuzzer->move(88, 15);
    RdBtnBuzzer->setChecked(true);
    RdBtnSpeaker = named(new QRadioButton(QStringLiteral("Speaker"), GroupBox1), "RdBtnSpeaker");
    RdBtnSpeaker->move(165, 15);

    ImgClearAlarm = alarmFrameLabel(GroupBox1, "ImgClearAlarm", QRect(341, 7, 80, 31), kClearBlue);
    ShpClearAlarm = named(new QFrame(GroupBox1), "ShpClearAlarm");
    ShpClearAlarm->setGeometry(345, 12, 72, 21);
    ShpClearAlarm->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid %2;")
                                     .arg(kCream.name(), kClearBlue.name()));
    SpdBtnClearAlarm =
        named(new QPushButton(QStringLiteral("Clear Alarm"), GroupBox1), "SpdBtnClearAlarm");
    SpdBtnClearAlarm->setGeometry(345, 12, 72, 21);
    SpdBtnClearAlarm->setFlat(true);
    setTextColour(SpdBtnClearAlarm, kClearBlue);
}

void TForm1::buildDetailsPanel()
{
    Panel3 = band(this, "Panel3", kDetailsPanelHeight, QFrame::Panel);
    Label2 = label(Panel3, "Label2", QStringLiteral("User Name:  "), 8, 3);
    LblUN = valueLabel(Panel3, "LblUN", 72, 3);
    Label4 = label(Panel3, "Label4", QStringLiteral("ID NO.:"), 208, 3);
    LblID = valueLabel(Panel3, "LblID", 272, 3);
    Label3 = label(Panel3, "Label3", QStringLiteral("Locate:"), 8, 19);
    LblLoc = valueLabel(Panel3, "LblLoc", 72, 19);
    Label5 = label(Panel3, "Label5", QStringLiteral("Department:"), 208, 19);
    LblDept = valueLabel(Panel3, "LblDept", 272, 19);
    for (QLabel* value : {LblUN, LblID, LblLoc, LblDept})
        setTextColour(value, kMaroon);
}

void TForm1::buildGpsBand()
{
    Panel5 = band(this, "Panel5", kGpsBandHeight, QFrame::Panel);
    Label6 = label(Panel5, "Label6", QStringLiteral("GPS:"), 8, 8);
    LabelGPRMC = named(new QLabel(QStringLiteral("LabelGPRMC"), Panel5), "LabelGPRMC");
    LabelGPRMC->setGeometry(48, 8, 369, 17);
}

// The forwarder finds the navigation window through X11 only when our own
// windows are there too; offscreen it finds none.
void TForm1::buildGpsForwarding()
{
    const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    m_windowSystem = platform::openWindowSystem(onX11);
    m_gpsTimerControl = std::make_unique<QtStationTimer>(*GPSTimer);
    m_initGpsTimerControl = std::make_unique<QtStationTimer>(*InitGPSTimer);
    m_gps =
        std::make_unique<GpsForwarder>(*m_gpsTimerControl, *m_initGpsTimerControl, *m_windowSystem,
                                       GpsForwarder::Options{{}, m_options.gpsPortPath});
    m_gps->SetTextOutput([this](const std::string& windows1252) {
        std::string_view text = windows1252;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1); // the sentence's line end is not shown
        LabelGPRMC->setText(QString::fromStdString(platform::windows1252ToUtf8(text)));
    });
    m_gps->SetPortReport([](const std::string& text) { tellStandardError(text); });
    connect(GPSTimer, &QTimer::timeout, this, [this] { m_gps->GPSTimerTimer(); });
    connect(InitGPSTimer, &QTimer::timeout, this, [this] { m_gps->InitGPSTimerTimer(); });
}

void TForm1::buildStatusBar()
{
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setFixedHeight(kStatusBarHeight);
    StatusBar1->setSizeGripEnabled(false);
    const QString texts[4] = {QString(), QStringLiteral("Connections"), QStringLiteral("0"),
                              QString()};
    for (int i = 0; i < 4; ++i) {
        // Panels left to right as in a classic status bar. addWidget places
        // them on the left; the bar never shows a temporary message, which
        // would hide them.
        StatusPanels[i] = new QLabel(texts[i], StatusBar1);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(kStatusPanelWidths[i]);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(StatusPanels[i]);
    }
}

void TForm1::wireControls()
{
    connect(BtBtnMvSize, &QPushButton::clicked, this, &TForm1::BtBtnMvSizeClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    wireRegistryArchiveAndAlarm();
}

// The device lists and details, the movie view for clips, "Save data to disk",
// and the alarm's controls and timer. The archive itself is made at start-up,
// once the program folder is known.
void TForm1::wireRegistryArchiveAndAlarm()
{
    m_registry = std::make_unique<DeviceRegistry>(m_clock);
    m_listsView =
        std::make_unique<ComboBoxDeviceListsView>(*m_registry, *CmbBxMACID, *CmbBxLocateID);
    m_detailsView = std::make_unique<LabelDeviceDetailsView>(
        LabelDeviceDetailsView::Labels{LblUN, LblID, LblLoc, LblDept, LblCon, LblConStart});
    m_registry->setDetailsView(m_detailsView.get());
    m_registry->setNavigationRetitle(
        [this](const std::string& key) { m_gps->RetitleNavigationWindow(key); });
    // Everything the window shows of a recorder follows the selection: its
    // sentences, its latest clip (or the idle movie); the caption follows at
    // the dispatcher's next refresh.
    m_registry->setSelectionChanged([this](const std::string& key) {
        m_gps->SelectionChanged();
        if (m_archive)
            m_archive->ShowLatestClip(key);
    });
    for (DropDownList* list : {CmbBxMACID, CmbBxLocateID}) {
        connect(list, &DropDownList::droppedDown, this,
                [this] { m_registry->CmbBxMACIDDropDown(); });
        connect(list, &DropDownList::closedUp, this, [this] { m_registry->CmbBxMACIDCloseUp(); });
    }
    m_clipViewer = std::make_unique<MovieClipViewer>(*QTMvReceive);
    connect(ChckBxSaveData, &QCheckBox::toggled, this, [this](bool ticked) {
        if (m_archive)
            m_archive->setSaveData(ticked);
        if (m_storageGuard)
            m_storageGuard->setEnabled(ticked);
    });

    platform::AlarmSound* sound = m_options.alarmSound;
    if (!sound) {
        // The tone ends on the sound's thread; the alarm hears of it on this one.
        m_systemAlarmSound = platform::makeSystemAlarmSound(
            {"default", [] { QApplication::beep(); },
             [this] {
                 QMetaObject::invokeMethod(
                     this, [this] { m_alarm->ToneEnded(); }, Qt::QueuedConnection);
             }});
        sound = m_systemAlarmSound.get();
    }
    m_alarmTimer = std::make_unique<QtStationTimer>(*TmrAlarm);
    m_alarmView = std::make_unique<WidgetAlarmView>(*ImgAlarmCirc, *ImgClearAlarm, *RdBtnBuzzer,
                                                    *RdBtnSpeaker);
    m_alarm = std::make_unique<Alarm>(*m_alarmTimer, *m_alarmView, *sound);
    connect(TmrAlarm, &QTimer::timeout, this, [this] { m_alarm->TmrAlarmTimer(); });
    connect(SpdBtnClearAlarm, &QPushButton::clicked, this,
            [this] { m_alarm->SpdBtnClearAlarmClick(); });
    connect(ChckBxAlarm, &QCheckBox::toggled, this,
            [this](bool ticked) { m_alarm->ChckBxAlarmClick(ticked); });
    connect(RdBtnSpeaker, &QRadioButton::toggled, this, [this](bool speaker) {
        m_alarm->setSoundChoice(speaker ? AlarmSoundChoice::Speaker : AlarmSoundChoice::Buzzer);
    });
}

bool TForm1::UserBusy() const
{
    return m_registry->UserBusy();
}

void TForm1::setUserBusy(bool busy)
{
    m_registry->setUserBusy(busy);
}

// The bands at the bottom stack from the bottom up and take the client width.
void TForm1::stackBottomBands()
{
    int bottom = height();
    for (QWidget* w : {static_cast<QWidget*>(StatusBar1), static_cast<QWidget*>(Panel5),
                       static_cast<QWidget*>(Panel3), static_cast<QWidget*>(Panel2),
                       static_cast<QWidget*>(Panel4)}) {
        bottom -= w->height();
        w->setGeometry(0, bottom, width(), w->height());
    }
    GroupBox1->setGeometry(0, Panel2->height() - kAlarmGroupHeight, Panel2->width(),
                           kAlarmGroupHeight);
    LblSR->setGeometry(0, 0, Panel4->width(), kReceivingLabelHeight);
    LblListen->setGeometry(0, 0, Panel4->width(), kReceivingLabelHeight);
    LblRetention->setGeometry(0, kReceivingBandHeight - kRetentionLabelHeight, Panel4->width(),
                              kRetentionLabelHeight);
    BtnConfirmDate->setGeometry(Panel4->width() - kConfirmDateWidth,
                                kReceivingBandHeight - kRetentionLabelHeight, kConfirmDateWidth,
                                kRetentionLabelHeight);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    stackBottomBands();
}

// Window outer size. The layout's sizes are those of the frame the user sees,
// and the client area is what the frame leaves. With a window manager the
// frame (title bar and borders) is the manager's: its margins become known
// once the window is mapped, and the layout is applied again then (see
// event()), so that the outer size is exact. Without a window manager an X11
// window has no frame and the outer size is the client size; the offscreen
// platform pretends a thin frame, known from the start, and it counts like a
// real one.
void TForm1::applyMovieLayout(PanelSize movie)
{
    m_movieSize = movie;
    LayoutMetrics metrics;
    metrics.sizeButtonLeft = BtBtnMvSize->x();
    metrics.sizeButtonTop = BtBtnMvSize->y();
    metrics.sizeButtonWidth = BtBtnMvSize->width();
    metrics.devicePanelHeight = Panel2->height();
    metrics.detailsPanelHeight = Panel3->height();
    metrics.statusBarHeight = StatusBar1->height();
    metrics.receivingLabelHeight = LblSR->height();
    const MovieLayout layout = layMovie(movie, metrics, m_screen.screenHeight());

    Panel1->setGeometry(layout.panel1.left, layout.panel1.top, layout.panel1.width,
                        layout.panel1.height);
    QTMvReceive->setGeometry(Panel1->contentsRect());
    ImgAlarmCirc->setGeometry(layout.alarmFrame.left, layout.alarmFrame.top,
                              layout.alarmFrame.width, layout.alarmFrame.height);

    m_frameMargins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    setFixedSize(layout.window.width - m_frameMargins.left() - m_frameMargins.right(),
                 layout.window.height - m_frameMargins.top() - m_frameMargins.bottom());
    m_placedAt = QPoint(layout.window.left, layout.window.top);
    move(m_placedAt);
    // A hidden window gets its resize event only when shown; the bands must
    // stand right before that.
    stackBottomBands();
}

void TForm1::showSizeGlyph(SizeGlyph glyph)
{
    BtBtnMvSize->setIcon(QIcon(sizeGlyph(glyph)));
    BtBtnMvSize->setProperty("GlyphIndex", static_cast<int>(glyph));
}

void TForm1::centreEventCaption()
{
    LblEventTime->adjustSize();
    LblEventTime->move(centredOver({Panel1->x(), Panel1->y(), Panel1->width(), Panel1->height()},
                                   LblEventTime->width()),
                       LblEventTime->y());
}

void TForm1::BtBtnMvSizeClick()
{
    const SizeToggle next = toggleMovieSize(Panel1->width());
    showSizeGlyph(next.glyph);
    applyMovieLayout(next.size);
    centreEventCaption();
}

// A frame of another size than the layout counted with: lay out again.
void TForm1::followFrame()
{
    if (windowHandle() && windowHandle()->frameMargins() != m_frameMargins)
        applyMovieLayout(m_movieSize);
}

bool TForm1::event(QEvent* event)
{
    switch (event->type()) {
    // Where the toolkit reports presses and moves on the frame and caption
    // (Windows, macOS), they set and clear the busy flag directly.
    case QEvent::NonClientAreaMouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            setUserBusy(true);
        break;
    case QEvent::NonClientAreaMouseMove:
        setUserBusy(false);
        break;
    // Under X11 the frame and caption belong to the window manager and the
    // program sees none of their mouse events. The closest events it gets:
    // the window moving while the user drags it by the caption (a press on
    // the caption); and for the next move over the frame, the window resting
    // after the drag with the pointer on its caption, or the pointer crossing
    // the frame into or out of the client area.
    case QEvent::Move:
        if (isVisible() && pos() != m_placedAt) {
            setUserBusy(true);
            m_dragWatch.start(static_cast<int>(kDragSettles.count()), this);
        }
        followFrame();
        break;
    case QEvent::Enter:
    case QEvent::Leave:
        // An open drop-down list takes the pointer from the window; the
        // operator is still busy choosing.
        if (!QApplication::activePopupWidget())
            setUserBusy(false);
        break;
    case QEvent::Show:
    case QEvent::ActivationChange:
        followFrame();
        // The window manager tells the frame's size some time after it maps
        // the window, with no event of its own: look again for a while.
        m_frameChecks = kFrameChecks;
        m_frameWatch.start(static_cast<int>(kFrameCheckInterval.count()), this);
        break;
    case QEvent::Timer:
        if (static_cast<QTimerEvent*>(event)->timerId() == m_dragWatch.timerId()) {
            m_dragWatch.stop();
            setUserBusy(false);
            return true;
        }
        if (static_cast<QTimerEvent*>(event)->timerId() == m_frameWatch.timerId()) {
            followFrame();
            if (--m_frameChecks <= 0)
                m_frameWatch.stop();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

// Start-up, in order. A second instance stops at its check and the window
// stays hidden; a missing idle movie is told and start-up goes on; any other
// failing step is told and ends start-up.
void TForm1::FormCreate()
{
    StartupSequence steps;
    steps.add("ResetFloatingPoint", [this] { StepResetFloatingPoint(); });
    steps.add("SingleInstance", [this] { StepSingleInstance(); });
    steps.add("CreateQueueLock", [this] { StepCreateQueueLock(); });
    steps.add("LayOutSmallMovie", [this] { StepLayOutSmallMovie(); });
    steps.add("SetProgramFolder", [this] { StepSetProgramFolder(); });
    steps.add("LoadIdleMovie", [this] { StepLoadIdleMovie(); });
    steps.add("ResetSharedState", [this] { StepResetSharedState(); });
    steps.add("ClearTexts", [this] { StepClearTexts(); });
    steps.add("ResetAlarmAndCaptions", [this] { StepResetAlarmAndCaptions(); });
    steps.add("ShowEnlargeGlyph", [this] { StepShowEnlargeGlyph(); });
    steps.add("ForgetNavigationWindow", [this] { StepForgetNavigationWindow(); });
    steps.add("ScreenSaverOff", [this] { StepScreenSaverOff(); });
    steps.add("BuildDayFolder", [this] { StepBuildDayFolder(); });
    steps.add("OpenGpsPort", [this] { StepOpenGpsPort(); });
    steps.add("FreeDeviceTable", [this] { StepFreeDeviceTable(); });
    steps.add("CreateClipStream", [this] { StepCreateClipStream(); });
    steps.add("RecoverJournal", [this] { StepRecoverJournal(); });
    steps.add("StartReceiver", [this] { StepStartReceiver(); });
    steps.add("StartDispatchTimer", [this] { StepStartDispatchTimer(); });
    steps.add("ResetGpsSending", [this] { StepResetGpsSending(); });
    std::optional<QString> stepError;
    try {
        steps.run([this](std::string_view name) { m_startupTrace.emplace_back(name); });
    } catch (const SecondInstance&) {
        return;
    } catch (const std::exception& error) {
        // Any other step that fails ends start-up there; the window still
        // opens and says why.
        stepError = QString::fromLocal8Bit(error.what());
    }
    if (!stepError && m_archive)
        startRetention();
    for (const auto& error : {m_idleMovieError, m_listenError, stepError})
        if (error)
            m_messageBoxes.showError(this, QString::fromLatin1(kStationTitle),
                                     withClosingFullStop(*error));
}

void TForm1::StepResetFloatingPoint()
{
    platform::resetFloatingPoint();
}

void TForm1::StepSingleInstance()
{
    m_instanceLock = platform::SingleInstanceLock::acquire(m_options.singleInstanceName);
    if (!m_instanceLock) {
        m_secondInstance = true;
        throw SecondInstance{};
    }
}

void TForm1::StepCreateQueueLock()
{
    m_queue = std::make_unique<HostEventQueue>();
}

void TForm1::StepLayOutSmallMovie()
{
    applyMovieLayout(kSmallMovie);
}

void TForm1::StepSetProgramFolder()
{
    m_programFolder = m_options.programFolder.empty()
                          ? platform::programFolder()
                          : platform::withTrailingSeparator(m_options.programFolder);
    if (m_programFolder.empty())
        m_programFolder = "./";
    m_gps->SetProgramFolder(m_programFolder);
}

// A missing or unreadable idle movie is reported once start-up has finished,
// and start-up goes on: the receiver must serve the recorders whatever the
// idle picture. The movie view then stays black until a clip comes.
void TForm1::StepLoadIdleMovie()
{
    const QString path =
        QString::fromStdString(platform::joinPath(m_programFolder, kIdleMovieName));
    try {
        QTMvReceive->setFileName(path);
    } catch (const movieview::MovieError& error) {
        m_idleMovieError = error.text();
    } catch (const std::exception& error) {
        m_idleMovieError = QString::fromLocal8Bit(error.what());
    }
}

void TForm1::StepResetSharedState()
{
    setUserBusy(false);
}

void TForm1::StepClearTexts()
{
    for (QLabel* l : {LblCon, LblElapse, LblConStart, LblEventTime, LblUN, LblID, LblLoc, LblDept})
        l->clear();
    CmbBxMACID->setCurrentIndex(-1);
    CmbBxLocateID->setCurrentIndex(-1);
}

void TForm1::StepResetAlarmAndCaptions() {}

void TForm1::StepShowEnlargeGlyph()
{
    showSizeGlyph(SizeGlyph::Enlarge);
}

void TForm1::StepForgetNavigationWindow() {}

void TForm1::StepScreenSaverOff()
{
    platform::switchScreenSaverOff();
}

void TForm1::StepBuildDayFolder()
{
    m_archive = std::make_unique<Archive>(m_programFolder, m_clock, m_registry->lists());
    m_archive->setClipViewer(m_clipViewer.get());
    m_archive->setIdleMovie(platform::joinPath(m_programFolder, kIdleMovieName));
    m_archive->setSaveData(ChckBxSaveData->isChecked());
    m_archive->BuildDayFolder();
}

void TForm1::StepOpenGpsPort()
{
    m_gps->SetMainWindow(winId());
    m_gps->OpenPort();
    if (!m_gps->PortRefusal().empty())
        tellStandardError(m_gps->PortRefusal());
}

void TForm1::StepFreeDeviceTable()
{
    m_registry->freeDeviceTable();
}

void TForm1::StepCreateClipStream() {}

// Before any recorder is served: what the journal holds from the last run is
// archived, and from now on every event the archive keeps is journaled before
// the library acknowledges it.
void TForm1::StepRecoverJournal()
{
    m_journal = std::make_unique<EventJournal>(
        platform::joinPath(m_programFolder, EventJournal::kFileName));
    // The receive time is read on the library's threads: the system's clock.
    m_storageGuard =
        std::make_unique<StorageGuard>(*m_journal, platform::systemClock(), m_options.storageRetry);
    m_storageGuard->setEnabled(ChckBxSaveData->isChecked());
    m_storageGuard->recover(*m_archive);
    m_queue->setStorageGuard(m_storageGuard.get());
    showStorageStatus();
}

// The library takes the window's native handle and the port. When it cannot
// listen (another station or program holds the port), the operator is told
// why, in a message box, in the window and on standard error, and the start
// is tried again every few seconds until it listens.
void TForm1::StepStartReceiver()
{
    if (m_options.startReceiver) {
        m_options.startReceiver(reinterpret_cast<void*>(winId()), m_options.port);
        m_listening = true;
        return;
    }
    const std::int32_t result = startLibrary();
    if (result == 0)
        return;
    tellNotListening(result);
    m_listenError = listenText();
    m_listenRetryTimer->start();
}

std::int32_t TForm1::startLibrary()
{
    const std::int32_t result = GPRSInitial(reinterpret_cast<void*>(winId()), m_options.port);
    if (result == 0) {
        GPRSRegisterCallbackInformation(&HostCallback);
        m_listening = true;
    }
    return result;
}

void TForm1::tellNotListening(std::int32_t reason)
{
    const QString why = reason > 0 ? QString::fromLocal8Bit(std::strerror(reason))
                                   : QStringLiteral("the receiver could not start");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_options.listenRetry);
    LblListen->setText(
        QStringLiteral("Not receiving: port %1 cannot be used (%2). Trying again every %3 s.")
            .arg(m_options.port)
            .arg(why)
            .arg(std::max<long long>(1, seconds.count())));
    LblListen->show();
    std::fprintf(stderr, "Tessaro: cannot listen on port %d: %s; trying again every %lld s\n",
                 static_cast<int>(m_options.port), qPrintable(why),
                 static_cast<long long>(std::max<long long>(1, seconds.count())));
}

void TForm1::retryListening()
{
    if (startLibrary() != 0)
        return;
    m_listenRetryTimer->stop();
    LblListen->setText(QStringLiteral("Receiving on port %1 now.").arg(m_options.port));
    setTextColour(LblListen, kClearBlue);
    std::fprintf(stderr, "Tessaro: listening on port %d\n", static_cast<int>(m_options.port));
}

QString TForm1::listenText() const
{
    return LblListen->isHidden() ? QString() : LblListen->text();
}

// The dispatcher starts as the shared state's reset leaves it: no channel, no
// event time, no refresh yet, nothing being received.
void TForm1::StepStartDispatchTimer()
{
    m_timer1Control = std::make_unique<QtStationTimer>(*Timer1);
    m_dispatcherView = std::make_unique<WidgetDispatcherView>(
        WidgetDispatcherView::Widgets{
            {StatusPanels[0], StatusPanels[1], StatusPanels[2], StatusPanels[3]},
            LblSR,
            LblEventTime,
            LblElapse},
        [this] { centreEventCaption(); });
    m_dispatcher = std::make_unique<EventDispatcher>(
        EventDispatcher::Parts{*m_queue, *m_timer1Control, *m_registry, *m_archive, *m_gps,
                               [this] { m_alarm->ArmAlarm(); }, *m_dispatcherView, m_clock});
    m_dispatchTiming = DispatchTiming::fromEnvironment();
    m_dispatcher->setStorageGuard(m_storageGuard.get());
    Timer1->start();
}

void TForm1::StepResetGpsSending()
{
    m_gps->ResetSentenceState();
}

// Stops the track replay, releases the track lines and closes the GPS port.
void TForm1::FormClose()
{
    m_listenRetryTimer->stop();
    m_retentionTimer->stop();
    m_gps->Close();
}

void TForm1::Timer1Timer()
{
    if (!m_dispatcher)
        return;
    if (m_dispatchTiming)
        m_dispatchTiming->timeTick(*m_queue, *m_dispatcher);
    else
        m_dispatcher->Timer1Timer();
    showStorageStatus();
}

void TForm1::showStorageStatus()
{
    if (!m_storageGuard || m_storageGuard->statusGeneration() == m_storageShown)
        return;
    const StorageGuard::Status status = m_storageGuard->status();
    m_storageShown = status.generation;
    const QString text = QString::fromLocal8Bit(status.text);
    LblStorage->setToolTip(text);
    LblStorage->setText(
        LblStorage->fontMetrics().elidedText(text, Qt::ElideRight, LblStorage->width()));
    LblStorage->setVisible(!text.isEmpty());
}

// The settings file's problems are told at once. The passes run on the
// worker's thread, asked for with the time of the station's clock (the one the
// archive names its days by) at start and every retention interval; what they
// tell comes back here queued. The worker is joined before this window's
// controls go, and a report queued to a window that is gone is dropped.
void TForm1::startRetention()
{
    const StationSettings settings =
        readStationSettings(platform::joinPath(m_programFolder, kSettingsFileName));
    for (const std::string& problem : settings.problems)
        tellStandardError(problem);
    if (!settings.problems.empty())
        showRetention(settings.problems);
    m_retention = std::make_unique<RetentionWorker>(
        std::make_unique<ArchiveRetention>(m_programFolder, settings.retention),
        [this](std::vector<std::string> lines) {
            QMetaObject::invokeMethod(
                this, [this, lines = std::move(lines)] { showRetention(lines); },
                Qt::QueuedConnection);
        });
    m_retention->requestPass(readClocks(m_clock));
    connect(m_retentionTimer, &QTimer::timeout, this,
            [this] { m_retention->requestPass(readClocks(m_clock)); });
    connect(BtnConfirmDate, &QPushButton::clicked, this, [this] {
        BtnConfirmDate->hide();
        m_retention->confirmDate();
        m_retention->requestPass(readClocks(m_clock));
    });
    m_retentionTimer->start();
}

void TForm1::showRetention(const std::vector<std::string>& lines)
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
    BtnConfirmDate->setVisible(m_retention && m_retention->ageHeld());
    BtnConfirmDate->raise();
}

} // namespace monitor
