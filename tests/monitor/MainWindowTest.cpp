// The main window offscreen: its controls as designed, the layout around the
// movie for both sizes on a 1024-pixel screen, the size toggle, the stacking
// of the bottom bands, and start-up going on without its idle movie.
#include "MovieEngineSession.h"
#include "WindowTestSupport.h"
#include "pmain.h"
#include "qtmovie.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <gtest/gtest.h>

using namespace monitor;
using namespace stationtest;

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
