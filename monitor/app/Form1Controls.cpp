// The main window's controls as designed (names, places, texts, colours),
// their timers, and their layout around the movie in either size.
#include "BusyStateWatcher.h"
#include "DropDownList.h"
#include "Form1Design.h"
#include "FrameWatcher.h"
#include "ScreenGeometry.h"
#include "SettingsNotice.h"
#include "StationArt.h"
#include "StationFonts.h"
#include "pmain.h"
#include "qtmovie.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

namespace monitor {
namespace {

// Heights of the bands at the bottom of the window, as designed.
constexpr int kReceivingBandHeight = 35; // Panel4
constexpr int kReceivingLabelHeight = 33;
// The archive's retention line along the band's bottom edge.
constexpr int kRetentionLabelHeight = 12;
constexpr int kRetentionFontPixels = 10;
// "Confirm date" at the right end of the retention line, while age deletion waits.
constexpr int kConfirmDateWidth = 80;
// The settings' findings keep this far from the window's sides.
constexpr int kNoticeMargin = 6;
// Taller than the line, upwards: the button's frame takes two pixels above and
// below its text.
constexpr int kConfirmDateHeight = 16;
constexpr int kDevicePanelHeight = 98;  // Panel2
constexpr int kAlarmGroupHeight = 41;   // GroupBox1
constexpr int kDetailsPanelHeight = 36; // Panel3
constexpr int kGpsBandHeight = 25;      // Panel5
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanelWidths[4] = {160, 90, 45, 50};
// Between a status panel's bevel and its text; the toolkit's default, half an
// "x", would cost "Processing..." its room.
constexpr int kStatusPanelIndent = 1;

constexpr int kEventCaptionPixels = 13;
constexpr int kIndicatorPixels = 21;

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

} // namespace

void TForm1::buildControls()
{
    buildMovieArea();
    buildReceivingBand();
    buildDevicePanel();
    buildDetailsPanel();
    buildGpsBand();
    buildStatusBar();
    buildTimers();
}

void TForm1::buildMovieArea()
{
    LblEventTime = label(this, "LblEventTime", QString(), 6, 8);
    QFont bold = designedFont(kWindowFontFamily, kEventCaptionPixels, kWindowFontStretch);
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
    m_settingsNotice = new SettingsNotice(this);
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
    LabelGPRMC->setFont(denseFont());
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
        StatusPanels[i]->setIndent(kStatusPanelIndent);
        StatusPanels[i]->setFont(denseFont());
        StatusBar1->addWidget(StatusPanels[i]);
    }
}

// The station sets the timers' intervals and switches them.
void TForm1::buildTimers()
{
    Timer1 = named(new QTimer(this), "Timer1");
    TmrAlarm = named(new QTimer(this), "TmrAlarm");
    GPSTimer = named(new QTimer(this), "GPSTimer");
    InitGPSTimer = named(new QTimer(this), "InitGPSTimer");
    InitGPSTimer->setProperty("Tag", 0);
    m_listenRetryTimer = named(new QTimer(this), "ListenRetryTimer");
    m_retentionTimer = named(new QTimer(this), "RetentionTimer");
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
                                kReceivingBandHeight - kConfirmDateHeight, kConfirmDateWidth,
                                kConfirmDateHeight);
    // The settings' findings over the movie and its margins, from its top
    // down to the receiving band at most.
    m_settingsNotice->fitInto(
        QRect(kNoticeMargin, Panel1->y(), width() - 2 * kNoticeMargin, Panel4->y() - Panel1->y()));
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
// FrameWatcher), so that the outer size is exact. Without a window manager an X11
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

    const QMargins frame = m_frameWatcher->counted();
    setFixedSize(layout.window.width - frame.left() - frame.right(),
                 layout.window.height - frame.top() - frame.bottom());
    const QPoint placed(layout.window.left, layout.window.top);
    m_busyWatcher->placedAt(placed);
    move(placed);
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

} // namespace monitor
