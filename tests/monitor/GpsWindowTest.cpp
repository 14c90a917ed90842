// The window's share of the GPS forwarding, offscreen: start-up opens the port,
// the window's two timers drive the track replay and the repeat of the live
// sentence, LabelGPRMC shows the forwarder's text without its line end, and
// closing the window stops the replay and closes the port.
#include "GpsForwarder.h"
#include "MovieEngineSession.h"
#include "PtyPair.h"
#include "WindowTestSupport.h"
#include "pmain.h"

#include <QLabel>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>

using namespace monitor;
using namespace stationtest;

namespace {

// A timer's tick, as its QTimer gives it, without waiting for the interval.
void tick(QTimer* timer)
{
    ASSERT_NE(timer, nullptr);
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

} // namespace

TEST(GpsWindow, TimersLabelAndPortFollowTheWindow)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    std::ofstream(folder.path() + "Track1.txt", std::ios::binary) << "A\r\nB\r\n\r\nC\r\n";
    testsupport::PtyPair pty;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.gpsPortPath = pty.devicePath();
    TForm1 form(options);

    auto* gpsTimer = form.findChild<QTimer*>(QStringLiteral("GPSTimer"));
    auto* initGpsTimer = form.findChild<QTimer*>(QStringLiteral("InitGPSTimer"));
    auto* label = form.findChild<QLabel*>(QStringLiteral("LabelGPRMC"));
    ASSERT_NE(label, nullptr);
    GpsForwarder& gps = form.gpsForwarder();
    EXPECT_TRUE(gps.GpsPortOpen());
    EXPECT_FALSE(gps.LiveSentenceSent());
    EXPECT_TRUE(gpsTimer->isActive());
    EXPECT_EQ(gpsTimer->intervalAsDuration(), GpsForwarder::kGpsTimerInterval);
    EXPECT_TRUE(initGpsTimer->isActive());
    EXPECT_EQ(initGpsTimer->intervalAsDuration(), GpsForwarder::kInitGpsTimerInterval);
    EXPECT_EQ(label->text(), QStringLiteral("LabelGPRMC"));

    tick(gpsTimer); // no live sentence yet: the track is loaded
    EXPECT_EQ(label->text(), QStringLiteral("(Initial GPS...)"));
    tick(initGpsTimer);
    EXPECT_EQ(pty.read(6), "A\r\nB\r\n");

    const std::string fix = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D";
    gps.SendGpsSentence(fix + "\r\n");
    tick(gpsTimer); // live: the sentence again, shown, and the replay off
    EXPECT_EQ(pty.read(2 * (fix.size() + 2)), fix + "\r\n" + fix + "\r\n");
    EXPECT_EQ(label->text(), QString::fromStdString(fix));
    EXPECT_FALSE(initGpsTimer->isActive());

    form.close();
    EXPECT_FALSE(gps.GpsPortOpen());
    EXPECT_FALSE(initGpsTimer->isActive());
    EXPECT_EQ(gps.Replay().Lines(1).size(), 0u);
}
