// The window's controls wired to the device registry, the archive and the
// alarm: start-up builds the day folder, the lists and labels follow the
// registry and route the operator's choice back, "Save data to disk" switches
// the archive, a clip reaches the movie view, and the alarm's controls and
// timer drive the alarm.
#include "Alarm.h"
#include "Archive.h"
#include "DeviceRegistry.h"
#include "ManualClock.h"
#include "MovieEngineSession.h"
#include "RecordingSound.h"
#include "TestClips.h"
#include "WindowTestSupport.h"
#include "pmain.h"
#include "qtmovie.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace monitor;
using namespace stationtest;

using testsupport::RecordingSound;

namespace {

// Longer than one alarm interval: the real TmrAlarm ticks within it.
constexpr int kTickWaitMs = 5000;

// The dispatcher's steps for a login, through the registry.
void listRecorder(DeviceRegistry& registry, const std::string& name)
{
    const std::string key = name + "_7";
    const auto r =
        registry.registerDevice(key, "i1," + name + ",i3,D,User" + name + ",Loc" + name + ",7");
    registry.lists().setLocateStyle(LocateStyle::SelectionOnly);
    registry.lists().setLocateEnabled(true);
    registry.lists().append(key, r.locateText);
    if (registry.lists().count() == 1)
        registry.lists().select(0);
    registry.CmbBxMACIDChange();
}

} // namespace

TEST(WindowRegistryArchiveAlarm, ControlsDriveAndShowTheirClasses)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    testsupport::ManualClock clock({2026, 12, 6, 14, 30, 5, 0});
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    RecordingSound sound;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.clock = &clock;
    options.alarmSound = &sound;
    TForm1 form(options);
    const auto child = [&form](const char* name) {
        return form.findChild<QWidget*>(QString::fromLatin1(name));
    };
    const auto text = [&](const char* name) {
        return qobject_cast<QLabel*>(child(name))->text().toStdString();
    };

    ASSERT_NE(form.archive(), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() + "2026/12/06")) << "built at start-up";

    listRecorder(form.registry(), "A");
    listRecorder(form.registry(), "B");
    auto* locate = qobject_cast<QComboBox*>(child("CmbBxLocateID"));
    EXPECT_TRUE(locate->isEnabled());
    EXPECT_EQ(locate->count(), 2);
    EXPECT_EQ(locate->currentText(), "LocA_7");
    EXPECT_EQ(qobject_cast<QComboBox*>(child("CmbBxMACID"))->currentText(), "A_7");
    EXPECT_EQ(text("LblUN"), "UserA");
    QTest::keyClick(locate, Qt::Key_Down); // the operator chooses the second
    EXPECT_EQ(form.registry().SelectedDeviceIndex(), 1);
    EXPECT_EQ(text("LblUN"), "UserB");
    EXPECT_EQ(text("LblCon"), "Connection No.=2");
    EXPECT_EQ(text("LblConStart"), "Start 14:30:05");
    locate->showPopup();
    EXPECT_TRUE(form.UserBusy());
    locate->hidePopup();
    EXPECT_FALSE(form.UserBusy());
    locate->showPopup();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&form, &leave);
    EXPECT_TRUE(form.UserBusy()) << "the open list took the pointer";
    locate->view()->window()->hide(); // as a click elsewhere closes it
    EXPECT_FALSE(form.UserBusy());
    form.show();
    form.move(form.pos() + QPoint(5, 5)); // dragged by its caption
    EXPECT_TRUE(form.UserBusy());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.UserBusy(); }, 2000)) << "the drag never ended";

    qobject_cast<QCheckBox*>(child("ChckBxSaveData"))->click();
    EXPECT_FALSE(form.archive()->SaveData());
    const movietest::ClipSpec bigClip{"red640.mov", 640, 480, movietest::kRed,
                                      movietest::ClipForm::Container};
    QFile clipFile(movietest::clipPath(bigClip));
    ASSERT_TRUE(clipFile.open(QIODevice::ReadOnly));
    const QByteArray clip = clipFile.readAll();
    form.archive()->StoreClip(
        "B_7", {reinterpret_cast<const std::uint8_t*>(clip.data()), std::size_t(clip.size())}, "1");
    EXPECT_EQ(form.movieView()->FileName().toStdString(),
              folder.path() + "2026/12/06/B_7/temp.mov");
    EXPECT_TRUE(form.movieView()->HasPicture());

    auto* tmrAlarm = form.findChild<QTimer*>(QStringLiteral("TmrAlarm"));
    QSignalSpy ticks(tmrAlarm, &QTimer::timeout);
    ASSERT_TRUE(ticks.isValid());
    form.alarm().ArmAlarm();
    EXPECT_TRUE(tmrAlarm->isActive());
    ASSERT_TRUE(ticks.wait(kTickWaitMs));
    EXPECT_TRUE(child("ImgAlarmCirc")->isVisibleTo(&form));
    EXPECT_TRUE(child("ImgClearAlarm")->isVisibleTo(&form));
    EXPECT_EQ(sound.played, std::vector<std::string>{"tone 800 Hz 1000 ms"});
    EXPECT_FALSE(tmrAlarm->isActive()) << "off while the tone sounds";
    form.alarm().ToneEnded();
    EXPECT_TRUE(tmrAlarm->isActive());

    qobject_cast<QRadioButton*>(child("RdBtnSpeaker"))->click();
    EXPECT_EQ(form.alarm().soundChoice(), AlarmSoundChoice::Speaker);
    qobject_cast<QCheckBox*>(child("ChckBxAlarm"))->click();
    EXPECT_FALSE(child("RdBtnBuzzer")->isEnabled());
    EXPECT_FALSE(child("RdBtnSpeaker")->isEnabled());
    EXPECT_FALSE(child("ImgAlarmCirc")->isVisibleTo(&form));
    EXPECT_FALSE(tmrAlarm->isActive());
    qobject_cast<QCheckBox*>(child("ChckBxAlarm"))->click();
    EXPECT_TRUE(child("RdBtnSpeaker")->isEnabled());

    form.alarm().ArmAlarm();
    qobject_cast<QPushButton*>(child("SpdBtnClearAlarm"))->click();
    EXPECT_TRUE(form.alarm().AlarmCleared());
    EXPECT_FALSE(tmrAlarm->isActive());
}
