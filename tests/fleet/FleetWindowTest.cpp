// The station's window on a fleet, offscreen, against a broker of the test's
// own: among hundreds of recorders the operator finds one by typing part of
// its name into the visible list, and the window says which broker it
// watches and when it has lost it.
#include "DeviceRegistry.h"
#include "FleetTestSupport.h"
#include "MovieEngineSession.h"
#include "PtyPair.h"
#include "WindowTestSupport.h"
#include "pmain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace fleettest;
using namespace monitor;
using namespace stationtest;

namespace {

constexpr int kScreenHeight = 1024;
constexpr int kWaitMs = 20000;
constexpr int kRecorders = 400;

TEST(FleetWindow, FindsARecorderByPartOfItsNameAndTellsItsBroker)
{
    testsupport::MqttBrokerHarness broker;
    FleetPublisher gateways(broker);
    gateways.gatewayState("gw-A", true);
    gateways.recorders(0, kRecorders, "gw-A");

    movieview::MovieEngineSession engine;
    FixedScreen screen{kScreenHeight};
    RecordedMessageBoxes boxes;
    ProgramFolder folder;
    testsupport::PtyPair gps;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.fleetBroker = broker.url();
    options.gpsPortPath = gps.devicePath();
    TForm1 form(options);
    form.show();
    const DeviceLists& lists = form.registry().lists();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == kRecorders; }, kWaitMs));
    EXPECT_EQ(form.listenText().toStdString(), "Fleet " + broker.url());
    EXPECT_TRUE(boxes.boxes.empty());
    auto* saveData = form.findChild<QWidget*>(QStringLiteral("ChckBxSaveData"));
    ASSERT_NE(saveData, nullptr);
    EXPECT_FALSE(saveData->isEnabled()) << "the gateways archive, not the station";

    auto* locate = form.findChild<QComboBox*>(QStringLiteral("CmbBxLocateID"));
    ASSERT_NE(locate, nullptr);
    ASSERT_TRUE(locate->isEditable());
    ASSERT_NE(locate->completer(), nullptr);
    auto* location = form.findChild<QLabel*>(QStringLiteral("LblLoc"));
    ASSERT_NE(location, nullptr);

    struct Finding
    {
        const char* legend;
        const char* typed;
        int matches;
        const char* chosen; // the key selected by choosing the first match
        const char* shownLocate;
    };
    const Finding findings[] = {
        {"the middle of the name", "s-0217", 1, "REC0217", "Bus-0217"},
        {"another case", "bus-0305", 1, "REC0305", "Bus-0305"},
        {"the ID at its end", "ID0123", 1, "REC0123", "Bus-0123"},
        {"a part many names hold", "Bus-03", 100, "REC0300", "Bus-0300"},
    };
    for (const Finding& f : findings) {
        SCOPED_TRACE(f.legend);
        locate->lineEdit()->clear();
        QTest::keyClicks(locate->lineEdit(), QString::fromLatin1(f.typed));
        QCompleter* completer = locate->completer();
        EXPECT_EQ(completer->completionCount(), f.matches);
        QAbstractItemView* popup = completer->popup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, kWaitMs));
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_EQ(lists.selectedKey(), f.chosen);
        EXPECT_EQ(location->text().toStdString(), f.shownLocate);
    }

    broker.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.listenText().contains(QStringLiteral("lost")); },
                                kWaitMs));
    EXPECT_TRUE(form.listenText().startsWith(QString::fromStdString("Fleet " + broker.url())));
}

} // namespace
