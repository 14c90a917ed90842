// The main window offscreen: its controls as designed, every text fitting its
// control, the layout around the movie for both sizes on a 1024-pixel screen,
// the size toggle, the stacking of the bottom bands, start-up going on without
// its idle movie, and what the window tells of its station with the real
// receiver library: a taken port, a failing step, recorders that come and go,
// an archive that cannot be written, the archive's retention.
#include "ArchiveNames.h"
#include "ArchiveRetention.h"
#include "DeviceInfoText.h"
#include "MovieEngineSession.h"
#include "RecorderConnection.h"
#include "TcpSocket.h"
#include "WindowTestSupport.h"
#include "kavrel.h"
#include "kavrel_events.h"
#include "pmain.h"
#include "qtmovie.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace monitor;
using namespace stationtest;
using namespace std::chrono_literals;

namespace {

constexpr int kScreenHeight = 1024;

class MainWindowTest : public ::testing::Test
{
protected:
    WindowOptions options(const ProgramFolder& folder)
    {
        return windowOptions(folder, m_screen, m_boxes, m_port);
    }
    template <typename W = QWidget> W* child(const TForm1& form, const char* name)
    {
        auto* w = form.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // One port for the whole test program: the library keeps the first it is given.
    static inline const std::uint16_t m_port = freePort();
    movieview::MovieEngineSession m_engine;
    FixedScreen m_screen{kScreenHeight};
    RecordedMessageBoxes m_boxes;
};

struct ControlCase
{
    const char* name;
    const char* parent;
    QRect place; // width or height 0: not fixed by the design
    const char* text;
    bool visible;
    bool enabled;
};

TEST_F(MainWindowTest, ControlsStandAsDesignedAfterStartUp)
{
    ProgramFolder folder;
    TForm1 form(options(folder));
    const ControlCase cases[] = {
        {"LblEventTime", "Form1", {6, 8, 0, 0}, "", true, true},
        {"BtBtnMvSize", "Form1", {6, 40, 26, 25}, "", true, true},
        {"QTMvReceive", "Panel1", {1, 1, 320, 240}, nullptr, true, true},
        {"ImgAlarmCirc", "Form1", {46, 30, 342, 262}, nullptr, false, true},
        {"LblSR", "Panel4", {0, 0, 0, 33}, "Receiving......", false, true},
        {"Label1", "Panel2", {8, 8, 0, 0}, "Locate_ID", true, true},
        {"CmbBxLocateID", "Panel2", {64, 6, 247, 0}, nullptr, true, false},
        {"LblElapse", "Panel2", {318, 8, 0, 0}, "", true, true},
        {"LblCon", "Panel2", {8, 30, 0, 0}, "", true, true},
        {"LblConStart", "Panel2", {138, 30, 0, 0}, "", true, true},
        {"CmbBxMACID", "Panel2", {51, 33, 247, 0}, nullptr, false, false},
        {"ChckBxSaveData", "Panel2", {318, 27, 107, 17}, "Save data to disk", true, true},
        {"Bevel1", "GroupBox1", {3, 10, 334, 26}, nullptr, true, true},
        {"ChckBxAlarm", "GroupBox1", {8, 15, 0, 0}, "Alarm", true, true},
        {"RdBtnBuzzer", "GroupBox1", {88, 15, 0, 0}, "Buzzer", true, true},
        {"RdBtnSpeaker", "GroupBox1", {165, 15, 0, 0}, "Speaker", true, true},
        {"ImgClearAlarm", "GroupBox1", {341, 7, 80, 31}, nullptr, false, true},
        {"ShpClearAlarm", "GroupBox1", {345, 12, 72, 21}, nullptr, true, true},
        {"SpdBtnClearAlarm", "GroupBox1", {345, 12, 72, 21}, "Clear Alarm", true, true},
        {"Label2", "Panel3", {8, 3, 0, 0}, "User Name:  ", true, true},
        {"LblUN", "Panel3", {72, 3, 0, 0}, "", true, true},
        {"Label4", "Panel3", {208, 3, 0, 0}, "ID NO.:", true, true},
        {"LblID", "Panel3", {272, 3, 0, 0}, "", true, true},
        {"Label3", "Panel3", {8, 19, 0, 0}, "Locate:", true, true},
        {"LblLoc", "Panel3", {72, 19, 0, 0}, "", true, true},
        {"Label5", "Panel3", {208, 19, 0, 0}, "Department:", true, true},
        {"LblDept", "Panel3", {272, 19, 0, 0}, "", true, true},
        {"Label6", "Panel5", {8, 8, 0, 0}, "GPS:", true, true},
        {"LabelGPRMC", "Panel5", {48, 8, 369, 17}, "LabelGPRMC", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* w = child(form, c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        EXPECT_EQ(w->pos(), c.place.topLeft());
        if (c.place.width() > 0) {
            EXPECT_EQ(w->width(), c.place.width());
        }
        if (c.place.height() > 0) {
            EXPECT_EQ(w->height(), c.place.height());
        }
        if (c.text) {
            QString text;
            if (auto* l = qobject_cast<QLabel*>(w))
                text = l->text();
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                text = b->text();
            EXPECT_EQ(text, QString::fromLatin1(c.text));
        }
        EXPECT_EQ(w->isVisibleTo(&form), c.visible);
        EXPECT_EQ(w->isEnabled(), c.enabled);
    }
    EXPECT_TRUE(child<QAbstractButton>(form, "ChckBxSaveData")->isChecked());
    EXPECT_TRUE(child<QAbstractButton>(form, "ChckBxAlarm")->isChecked());
    EXPECT_TRUE(child<QAbstractButton>(form, "RdBtnBuzzer")->isChecked());
    EXPECT_FALSE(child<QAbstractButton>(form, "RdBtnSpeaker")->isChecked());
    EXPECT_EQ(child<QComboBox>(form, "CmbBxLocateID")->count(), 0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Corvane V3.16.01"));
    EXPECT_EQ(child(form, "BtBtnMvSize")->property("GlyphIndex").toInt(), 1);

    // Timers: dispatch on after start-up, alarm off, both GPS timers on.
    const struct
    {
        const char* name;
        int interval;
        bool active;
    } timers[] = {{"Timer1", 20, true},
                  {"TmrAlarm", 1000, false},
                  {"GPSTimer", 2000, true},
                  {"InitGPSTimer", 1000, true}};
    for (const auto& t : timers) {
        auto* timer = form.findChild<QTimer*>(QString::fromLatin1(t.name));
        ASSERT_NE(timer, nullptr) << t.name;
        EXPECT_EQ(timer->interval(), t.interval) << t.name;
        EXPECT_EQ(timer->isActive(), t.active) << t.name;
    }

    // Status panels left to right, with their widths and texts at load.
    const struct
    {
        int width;
        const char* text;
    } panels[] = {{160, ""}, {90, "Connections"}, {45, "0"}, {50, ""}};
    int left = -1;
    for (int i = 0; i < 4; ++i) {
        auto* panel = child<QLabel>(form, qPrintable(QStringLiteral("StatusPanel%1").arg(i)));
        EXPECT_EQ(panel->width(), panels[i].width);
        EXPECT_EQ(panel->text(), QString::fromLatin1(panels[i].text));
        EXPECT_GT(panel->x(), left);
        left = panel->x();
    }

    // The bands stack upwards from the bottom edge over the whole width.
    int bottom = form.height();
    for (const auto& [name, height] : {std::pair{"StatusBar1", 19},
                                       {"Panel5", 25},
                                       {"Panel3", 36},
                                       {"Panel2", 98},
                                       {"Panel4", 35}}) {
        SCOPED_TRACE(name);
        const QWidget* bandWidget = child(form, name);
        EXPECT_EQ(bandWidget->geometry(), QRect(0, bottom - height, form.width(), height));
        bottom -= height;
    }
    EXPECT_EQ(child(form, "GroupBox1")->geometry(), QRect(0, 98 - 41, form.width(), 41));
}

// A text's size by its control's font, and the room the control leaves it at
// the given outer size.
struct Fit
{
    QSize text;
    QSize room;
};

Fit measure(QWidget* w, const QString& text, QSize outer)
{
    if (auto* label = qobject_cast<QLabel*>(w)) {
        // Its size hint counts the bevel, indent and margins.
        label->setText(text);
        if (label->wordWrap())
            return {{outer.width(), label->heightForWidth(outer.width())}, outer};
        return {label->sizeHint(), outer};
    }
    // Beside a box's or a radio button's mark, inside a button's frame.
    auto* button = qobject_cast<QAbstractButton*>(w);
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(QPoint(0, 0), outer);
    option.text = text;
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(w))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(w))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QPushButton*>(w)->isFlat())
        option.features = QStyleOptionButton::Flat;
    return {button->fontMetrics().size(Qt::TextShowMnemonic, text),
            button->style()->subElementRect(contents, &option, button).size()};
}

// The longest sentence the GPS port takes: 80 characters before CR LF, digits
// wherever RMC has numbers.
constexpr const char* kLongestSentence =
    "$GPRMC,235959.999,A,8959.9999,N,17959.9999,W,9999.99,359.999,311299,179.9,W,D*7F";
constexpr const char* kParentEdge = "the parent's edge";

// Every fixed text of the window, and the widest of the bounded texts it
// shows, fits its control at the control's designed size: it ends before the
// next control on its line (or within its own fixed width), and within its
// height.
TEST_F(MainWindowTest, EveryTextFitsItsControl)
{
    ProgramFolder folder;
    TForm1 form(options(folder));
    ASSERT_EQ(std::strlen(kLongestSentence), 80u);
    const struct
    {
        const char* legend;
        const char* widget;
        const char* text;       // nullptr: its text as designed
        const char* endsBefore; // nullptr: within its own width
    } cases[] = {
        {"the archive switch beside its box", "ChckBxSaveData", nullptr, nullptr},
        {"the alarm switch", "ChckBxAlarm", nullptr, "RdBtnBuzzer"},
        {"the buzzer choice", "RdBtnBuzzer", nullptr, "RdBtnSpeaker"},
        {"the speaker choice", "RdBtnSpeaker", nullptr, "ImgClearAlarm"},
        {"the clear button", "SpdBtnClearAlarm", nullptr, nullptr},
        {"the list's caption", "Label1", nullptr, "CmbBxLocateID"},
        {"the user name's caption", "Label2", nullptr, "LblUN"},
        {"the ID's caption", "Label4", nullptr, "LblID"},
        {"the location's caption", "Label3", nullptr, "LblLoc"},
        {"the department's caption", "Label5", nullptr, "LblDept"},
        {"the GPS line's caption", "Label6", nullptr, "LabelGPRMC"},
        {"the GPS line as designed", "LabelGPRMC", nullptr, nullptr},
        {"the track replay", "LabelGPRMC", "(Initial GPS...)", nullptr},
        {"a lost GPS port", "LabelGPRMC", "(GPS port lost)", nullptr},
        {"the longest position sentence", "LabelGPRMC", kLongestSentence, nullptr},
        {"the date and time", "StatusPanel0", "2026.12.31, 23:59:59", nullptr},
        {"the connections' caption", "StatusPanel1", nullptr, nullptr},
        {"99 recorders", "StatusPanel2", "99", nullptr},
        {"handling an event", "StatusPanel3", "Processing...", nullptr},
        {"a login", "StatusPanel3", "Login", nullptr},
        {"a position", "StatusPanel3", "GPRMC", nullptr},
        {"a clip", "StatusPanel3", "Video", nullptr},
        {"a logout", "StatusPanel3", "Logout", nullptr},
        {"the connection number", "LblCon", "Connection No.=99", "LblConStart"},
        {"the login time", "LblConStart", "Start 23:59:59", "ChckBxSaveData"},
        {"the elapsed time", "LblElapse", "Elapsed 23:59:59", kParentEdge},
        {"the receiving indicator", "LblSR", nullptr, nullptr},
        {"the longest notice of a taken port, wrapped", "LblListen",
         "Not receiving: port 65535 cannot be used (Cannot assign requested address). Trying "
         "again every 5 s.",
         nullptr},
        {"the date's confirmation", "BtnConfirmDate", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        QWidget* w = child(form, c.widget);
        ASSERT_NE(w, nullptr);
        QString text = QString::fromLatin1(c.text);
        if (!c.text) {
            auto* label = qobject_cast<QLabel*>(w);
            text = label ? label->text() : qobject_cast<QAbstractButton*>(w)->text();
        }
        int width = w->width();
        if (c.endsBefore == kParentEdge)
            width = w->parentWidget()->width() - w->x();
        else if (c.endsBefore)
            width = child(form, c.endsBefore)->x() - w->x();
        const Fit fit = measure(w, text, {width, w->height()});
        EXPECT_LE(fit.text.width(), fit.room.width()) << text.toStdString();
        EXPECT_LE(fit.text.height(), fit.room.height()) << text.toStdString();
    }
}

TEST_F(MainWindowTest, LayoutFollowsTheMovieSizeToggle)
{
    ProgramFolder folder;
    TForm1 form(options(folder));
    QWidget* panel1 = child(form, "Panel1");
    QWidget* movie = child(form, "QTMvReceive");
    QWidget* frame = child(form, "ImgAlarmCirc");
    QWidget* button = child(form, "BtBtnMvSize");
    // The outer size includes the frame that the offscreen platform pretends to draw.
    struct Expected
    {
        const char* legend;
        QRect window;
        QRect panel;
        QRect alarm;
        int glyph;
    };
    const Expected small{"small", {0, 469, 434, 518}, {56, 40, 322, 242}, {46, 30, 342, 262}, 1};
    const Expected large{"large", {0, 229, 754, 758}, {56, 40, 642, 482}, {46, 30, 662, 502}, 0};
    const auto check = [&](const Expected& e) {
        SCOPED_TRACE(e.legend);
        EXPECT_EQ(form.frameGeometry(), e.window);
        EXPECT_EQ(panel1->geometry(), e.panel);
        EXPECT_EQ(movie->geometry(), QRect(1, 1, e.panel.width() - 2, e.panel.height() - 2));
        EXPECT_EQ(frame->geometry(), e.alarm);
        EXPECT_EQ(button->property("GlyphIndex").toInt(), e.glyph);
    };
    check(small);
    form.BtBtnMvSizeClick();
    check(large);
    form.BtBtnMvSizeClick();
    check(small);

    // A panel exactly 600 wide counts as large: the click makes it small.
    panel1->resize(600, 242);
    form.BtBtnMvSizeClick();
    check(small);
}

TEST_F(MainWindowTest, StartUpGoesOnWithoutItsIdleMovie)
{
    ProgramFolder folder(/*withIdleMovie=*/false);
    TForm1 form(options(folder));
    EXPECT_TRUE(m_boxes.boxes.empty()) << "the box comes over the shown window";
    QCoreApplication::processEvents();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].caption, QStringLiteral("Corvane V3.16.01"));
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("Error opening movie file."));
    // Every step ran after the failed one: the receiver started and the
    // dispatcher's timer is on.
    EXPECT_EQ(form.startupTrace().size(), 20u);
    EXPECT_EQ(form.startupTrace().back(), "ResetGpsSending");
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_TRUE(form.movieView()->FileName().isEmpty());
}

constexpr auto kProcessBound = 20s;

recorder::DeviceInfo deviceInfo()
{
    recorder::DeviceInfo info;
    info.fields = {"QUVEX", "SN1001", "10.0.0.1", "Fleet", "Driver", "Depot", "ID7"};
    return info;
}

bool accepts(std::uint16_t port)
{
    recorder::RecorderConnection probe;
    return probe.connect("127.0.0.1", port, 200ms);
}

// Another program holds the port at start: the window is shown at once with
// no box to wait on (the window's own boxes, and any modal one would be seen
// and closed here), its line says why it does not receive while the station
// works on, and once the port is free the line says that it receives, with no
// one pressing anything, and leaves the band after its time.
TEST(StationWindow, ATakenPortIsToldInTheShownWindowUntilItIsFree)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes unused;
    const std::uint16_t port = freePort();
    auto otherProgram = std::make_unique<platform::TcpListener>();
    otherProgram->listen(port, 1);
    WindowOptions options = windowOptions(folder, screen, unused, port);
    options.messageBoxes = nullptr;
    options.listenRetry = 100ms;
    options.listenNotice = 100ms;
    std::vector<QString> modalBoxes;
    QTimer modalWatch;
    modalWatch.setInterval(10ms);
    QObject::connect(&modalWatch, &QTimer::timeout, [&modalBoxes] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modalBoxes.push_back(modal->windowTitle());
            modal->close();
        }
    });
    modalWatch.start();
    TForm1 form(options);
    struct StopLibrary
    {
        ~StopLibrary() { GPRSFree(); }
    } const stopLibrary;
    form.show();
    QCoreApplication::processEvents();

    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(modalBoxes.empty()) << "a modal box held start-up";
    for (const QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<const QMessageBox*>(w) && w->isVisible())
            << w->windowTitle().toStdString();
    EXPECT_FALSE(form.Listening());
    const auto* line = form.findChild<QLabel*>(QStringLiteral("LblListen"));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisible());
    const QString told = line->text();
    EXPECT_TRUE(told.contains(QString::number(port))) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromLocal8Bit(std::strerror(EADDRINUSE))))
        << told.toStdString();
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive())
        << "the station works on";

    otherProgram.reset();
    const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
    while (!form.Listening() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(form.Listening());
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().contains(QStringLiteral("Receiving on port")))
        << line->text().toStdString();
    EXPECT_TRUE(accepts(port));
    // The notice leaves the band to "Receiving......" after its time.
    while (!line->isHidden() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(line->isHidden());
    EXPECT_TRUE(form.listenText().isEmpty());
    EXPECT_TRUE(modalBoxes.empty());
    EXPECT_TRUE(form.isVisible());
}

TEST(StationWindow, AFailingStepIsToldAndEndsStartUpThere)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.startReceiver = [](void*, std::int32_t) { throw std::runtime_error("no receiver"); };
    TForm1 form(options);
    QCoreApplication::processEvents();

    EXPECT_EQ(form.startupTrace().back(), "StartReceiver");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Corvane V3.16.01"));
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("no receiver."));
    EXPECT_FALSE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("GPSTimer"))->isActive());
    EXPECT_TRUE(form.close());
}

// Runs the window's events until done() holds or the bound passes.
template <typename Done> bool processEventsUntil(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(StationWindow, TheWindowTellsWhileTheArchiveCannotBeWritten)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.storageRetry = 20ms;
    TForm1 form(options);
    const auto* status = form.findChild<QLabel*>(QStringLiteral("LblStorage"));
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(status->isVisibleTo(&form));

    // A file where the recorder's folder belongs: no file of it can be written.
    const std::filesystem::path blocked =
        std::filesystem::path(archive::dayFolderPath(folder.path(), platform::localNow())) /
        "SN1001_ID7";
    std::ofstream(blocked) << "in the way";
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", static_cast<std::uint16_t>(options.port), 5s))
        << recorder.lastError();
    std::string text;
    recorder::appendDeviceInfoText(text, deviceInfo());
    ASSERT_TRUE(
        recorder.sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), 10s).ok());
    ASSERT_TRUE(
        recorder
            .sendPacket(kavrel::EventCode::CMD_GPRMC_DATA, recorder::textBytes("$GPRMC,held"), 10s)
            .ok());
    const auto shows = [&](const char* words) {
        return status->isVisibleTo(&form) && status->toolTip().startsWith(QLatin1String(words));
    };
    ASSERT_TRUE(processEventsUntil([&] { return shows("Archive cannot be written: File exists"); }))
        << status->toolTip().toStdString();
    std::filesystem::remove(blocked);
    ASSERT_TRUE(processEventsUntil([&] { return shows("Archive can be written again"); }))
        << status->toolTip().toStdString();
    EXPECT_FALSE(std::filesystem::is_empty(blocked)) << "the held position is stored";
    EXPECT_TRUE(boxes.boxes.empty()) << "no message box stops the station";
}

// Two recorders log in over the real receiver, the first with a user name
// longer than its label, and both leave: the list empties and is disabled,
// greying the text it showed last, the status bar counts 0 and the details
// are blank.
TEST(StationWindow, TheListGreysItsLastTextOnceEveryRecorderLeft)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    TForm1 form(options);
    auto* list = form.findChild<QComboBox*>(QStringLiteral("CmbBxLocateID"));
    auto* userName = form.findChild<QLabel*>(QStringLiteral("LblUN"));
    auto* count = form.findChild<QLabel*>(QStringLiteral("StatusPanel2"));
    ASSERT_TRUE(list && userName && count);

    const std::string longName(60, 'W');
    recorder::RecorderConnection recorders[2];
    for (int i = 0; i < 2; ++i) {
        recorder::DeviceInfo info = deviceInfo();
        info.fields[1] = "SN" + std::to_string(i);
        info.fields[4] = i == 0 ? longName : "Driver";
        info.fields[5] = "Oregon";
        info.fields[6] = std::to_string(i);
        std::string text;
        recorder::appendDeviceInfoText(text, info);
        ASSERT_TRUE(recorders[i].connect("127.0.0.1", static_cast<std::uint16_t>(options.port), 5s))
            << recorders[i].lastError();
        ASSERT_TRUE(recorders[i]
                        .sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), 10s)
                        .ok());
    }
    ASSERT_TRUE(processEventsUntil([&] { return list->count() == 2; }));
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(list->currentText(), QStringLiteral("Oregon_0"));
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    // A name of any length is cut before the next control, whole in its tooltip.
    EXPECT_EQ(userName->toolTip().toStdString(), longName);
    EXPECT_TRUE(userName->text().endsWith(QChar(0x2026))) << userName->text().toStdString();
    EXPECT_LE(userName->x() + userName->width(),
              form.findChild<QLabel*>(QStringLiteral("Label4"))->x());

    recorders[1].close();
    ASSERT_TRUE(processEventsUntil([&] { return list->count() == 1; }));
    recorders[0].close();
    ASSERT_TRUE(processEventsUntil([&] { return list->count() == 0; }));
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->currentText(), QStringLiteral("Oregon_0"))
        << "the greyed list keeps its last text";
    EXPECT_EQ(count->text(), QStringLiteral("0"));
    EXPECT_EQ(userName->text(), QString());
    EXPECT_EQ(userName->toolTip(), QString());
}

// tessaro.ini beside the program sets the archive's limits. At start the only
// past day is older than KEEP_DAYS, so age deletion waits: the window says so
// with the bad value that took its default, and shows "Confirm date"; pressed,
// the day goes and the window tells it. A later pass (the interval made short)
// finds a day that appeared already past the limit, which only a wrong clock
// files, and keeps it. Foreign folders and today's stay.
TEST(StationWindow, TheSettingsFileLimitsTheArchiveAndTheWindowTellsEachDeletion)
{
    namespace fs = std::filesystem;
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    const auto oldDay = [&](const std::string& day) {
        fs::create_directories(folder.path() + day + "/AB12_3");
        std::ofstream(folder.path() + day + "/AB12_3/120000.bin") << "$GPRMC,old\r\n";
    };
    oldDay("2020/01/01");
    oldDay("backup/2020/01/01");
    std::ofstream(folder.path() + "tessaro.ini") << "[Archive]\nKEEP_DAYS=3\nMIN_FREE_GIB=plenty\n";
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.retentionInterval = 50ms;
    TForm1 form(options);
    const auto* line = form.findChild<QLabel*>(QStringLiteral("LblRetention"));
    auto* confirm = form.findChild<QPushButton*>(QStringLiteral("BtnConfirmDate"));
    ASSERT_NE(line, nullptr);
    ASSERT_NE(confirm, nullptr);
    const auto told = [&](const char* words) {
        return line->isVisibleTo(&form) && line->toolTip().endsWith(QLatin1String(words));
    };

    ASSERT_TRUE(processEventsUntil([&] {
        return line->toolTip().contains(
                   QLatin1String("Archive: deletion by age is held: the clock reads ")) &&
               confirm->isVisibleTo(&form);
    })) << line->toolTip().toStdString();
    EXPECT_TRUE(line->toolTip().contains(
        QLatin1String("the age limit would take the only past day at once")))
        << line->toolTip().toStdString();
    const auto* notice = form.findChild<QLabel*>(QStringLiteral("SettingsNoticeText"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(
        notice->text().startsWith(QStringLiteral("tessaro.ini line 3: MIN_FREE_GIB must be")))
        << notice->text().toStdString();
    EXPECT_TRUE(fs::exists(folder.path() + "2020/01/01"));

    confirm->click();
    ASSERT_TRUE(processEventsUntil([&] {
        return told("Archive: deleted the day 2020/01/01 (older than 3 days)");
    })) << line->toolTip().toStdString();
    EXPECT_TRUE(line->toolTip().contains(QLatin1String("Archive: the date was confirmed")))
        << line->toolTip().toStdString();
    EXPECT_FALSE(confirm->isVisibleTo(&form));
    EXPECT_TRUE(line->text().contains(QStringLiteral("deleted the day 2020/01/01")))
        << line->text().toStdString();
    EXPECT_FALSE(fs::exists(folder.path() + "2020")) << "emptied by the deletion";
    EXPECT_TRUE(fs::exists(folder.path() + "backup/2020/01/01/AB12_3/120000.bin"));

    oldDay("2020/01/02");
    ASSERT_TRUE(processEventsUntil([&] {
        return told("Archive: the day 2020/01/02 is kept from deletion by age: received while "
                    "the clock was wrong (past the age limit when it appeared)");
    })) << line->toolTip().toStdString();
    EXPECT_TRUE(fs::exists(folder.path() + "2020/01/02/" + kWrongClockFileName));
    EXPECT_TRUE(fs::is_directory(archive::dayFolderPath(folder.path(), platform::localNow())));
    EXPECT_TRUE(boxes.boxes.empty());
}

// Every finding of both settings files is shown whole over the movie, within
// the window, without scrolling; closing the notice gives the movie back.
TEST(StationWindow, EverySettingsFindingIsShownWholeUntilClosed)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    std::ofstream(folder.path() + "quvex.ini") << "[Option]\nSOCKET_TIMEOUT=abc\n";
    std::ofstream(folder.path() + "tessaro.ini")
        << "[Archive]\nKEEP_DAYS=lots of days\nMIN_FREE_GIB=plenty of room\n[Archiv]\n";
    TForm1 form(windowOptions(folder, screen, boxes));
    form.show();
    auto* notice = form.findChild<QWidget*>(QStringLiteral("SettingsNotice"));
    const auto* text = form.findChild<QLabel*>(QStringLiteral("SettingsNoticeText"));
    auto* close = form.findChild<QAbstractButton*>(QStringLiteral("SettingsNoticeClose"));
    ASSERT_TRUE(notice && text && close);

    const QStringList expected = {
        QStringLiteral("quvex.ini line 2: SOCKET_TIMEOUT must be a whole number (decimal, or "
                       "hexadecimal after 0x or $), not \"abc\"; the default 1 is taken"),
        QStringLiteral("tessaro.ini line 2: KEEP_DAYS must be a whole number of days from 0 to "
                       "36500, not \"lots of days\"; no age limit is used"),
        QStringLiteral("tessaro.ini line 3: MIN_FREE_GIB must be a number of GiB from 0 to "
                       "1000000, not \"plenty of room\"; no free-space limit is used"),
        QStringLiteral("tessaro.ini line 4: unknown section [Archiv] is ignored with its lines "
                       "(the station reads [Archive] and [Fleet])"),
    };
    EXPECT_EQ(text->text().split(QLatin1Char('\n')), expected);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(form.rect().contains(notice->geometry())) << "inside the window";
    EXPECT_GE(text->height(), text->heightForWidth(text->width())) << "no line cut off";
    EXPECT_LE(text->height(), notice->height()) << "no scrolling";
    EXPECT_TRUE(boxes.boxes.empty()) << "no message box for a setting";

    close->click();
    EXPECT_FALSE(notice->isVisible());
}

TEST(MessageText, ClosingFullStop)
{
    const struct
    {
        const char* legend;
        const char* text;
        const char* shown;
    } cases[] = {
        {"a letter gets a full stop", "Error opening movie file", "Error opening movie file."},
        {"a full stop stays single", "Done.", "Done."},
        {"characters before '.' get none", "Stop!", "Stop!"},
        {"empty text stays empty", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withClosingFullStop(QString::fromLatin1(c.text)), QString::fromLatin1(c.shown))
            << c.legend;
}

} // namespace
