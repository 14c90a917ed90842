// The canned track replay as the navigation program sees it on the port: one
// block per replay tick, lines ended by CR LF, restarted by every reload until
// the first live sentence, and never again after it.
#include "GpsForwarderRig.h"
#include "PtyPair.h"
#include "TempFolder.h"
#include "TimelineTimer.h"
#include "WindowSystem.h"

#include <gtest/gtest.h>

using monitor::GpsForwarder;
using testsupport::ManualTimeline;
using testsupport::PtyPair;
using testsupport::TimelineTimer;
using namespace std::chrono_literals;

namespace {

struct ReplayCase
{
    const char* legend;
    std::string track1;
    std::vector<std::string> portPerTick; // what each replay tick puts on the port
};

ReplayCase fortyFiveBlocks()
{
    ReplayCase c{"45 blocks: only the first 40 are ever sent", {}, {}};
    for (int i = 0; i < 45; ++i)
        c.track1 += (i ? "\r\n\r\nL" : "L") + std::to_string(i);
    for (int i = 0; i < 40; ++i)
        c.portPerTick.push_back("L" + std::to_string(i) + "\r\n");
    c.portPerTick.push_back("L0\r\n");
    return c;
}

const std::vector<ReplayCase> kReplayCases = {
    {"two blocks in turn, then the first again",
     "P\r\nQ\r\n\r\nR\r\nS",
     {"P\r\nQ\r\n", "R\r\nS\r\n", "P\r\nQ\r\n"}},
    {"an empty last block sends nothing and the replay goes on",
     "P\nQ\n\n",
     {"P\r\nQ\r\n", "", "P\r\nQ\r\n"}},
    {"a line of blanks is sent unchanged and ends no block",
     "P\r\n   \r\nQ\r\n",
     {"P\r\n   \r\nQ\r\n", "P\r\n   \r\nQ\r\n"}},
    {"CR and LF line ends; text after the last line end is a line",
     "P\rQ\n\nR",
     {"P\r\nQ\r\n", "R\r\n", "P\r\nQ\r\n"}},
    {"an empty first line makes an empty first block", "\r\nP", {"", "P\r\n", ""}},
    fortyFiveBlocks(),
};

// Reads what one tick should have written; whatever else the tick wrote comes
// out in the next read or at the end marker.
void expectPort(PtyPair& pty, const std::string& expected, const std::string& legend)
{
    EXPECT_EQ(pty.read(expected.size()), expected) << legend;
}

void expectNothingMore(PtyPair& pty, GpsForwarder& forwarder, const std::string& legend)
{
    const std::string marker = "$END*00\r\n";
    forwarder.SendGpsSentence(marker);
    EXPECT_EQ(pty.readThrough(marker), marker) << legend;
}

} // namespace

TEST(TrackReplay, SendsOneBlockPerTick)
{
    for (const auto& c : kReplayCases) {
        PtyPair pty;
        GpsForwarderRig rig(pty.devicePath());
        rig.writeFile("Track1.txt", c.track1);
        rig.forwarder.OpenPort();
        rig.forwarder.GPSTimerTimer();
        ASSERT_TRUE(rig.initGpsTimer.enabled()) << c.legend;
        for (const auto& expected : c.portPerTick) {
            rig.forwarder.InitGPSTimerTimer();
            expectPort(pty, expected, c.legend);
        }
        expectNothingMore(pty, rig.forwarder, c.legend);
    }
}

TEST(TrackReplay, RestartsOnEveryReloadUntilTheFirstLiveSentence)
{
    PtyPair pty;
    GpsForwarderRig rig(pty.devicePath());
    // The window's timers run from its creation; the replay has nothing yet.
    EXPECT_TRUE(rig.gpsTimer.enabled());
    EXPECT_TRUE(rig.initGpsTimer.enabled());
    rig.forwarder.OpenPort();
    rig.forwarder.InitGPSTimerTimer();

    // Without a track file the reload switches the replay off and shows nothing.
    rig.forwarder.GPSTimerTimer();
    EXPECT_FALSE(rig.initGpsTimer.enabled());
    EXPECT_TRUE(rig.shown.empty());

    rig.writeFile("Track1.txt", "A\r\n\r\nB\r\n");
    rig.writeFile("Track2.txt", "X\r\n\r\nY\r\n");
    rig.forwarder.GPSTimerTimer();
    EXPECT_TRUE(rig.initGpsTimer.enabled());
    EXPECT_EQ(rig.shown, std::vector<std::string>{"(Initial GPS...)"});
    rig.forwarder.InitGPSTimerTimer();
    expectPort(pty, "A\r\n", "first block");

    rig.forwarder.GPSTimerTimer(); // reload: back to the first block
    rig.forwarder.InitGPSTimerTimer();
    expectPort(pty, "A\r\n", "first block after a reload");

    rig.writeFile("Track1.txt", "C\r\n\r\nD\r\n");
    rig.forwarder.GPSTimerTimer(); // an edited file counts from the next reload
    rig.forwarder.InitGPSTimerTimer();
    rig.forwarder.InitGPSTimerTimer();
    expectPort(pty, "C\r\nD\r\n", "edited track");

    // Track 2 plays each block once, then the replay stops.
    rig.forwarder.StartTrack2Replay();
    for (int tick = 0; tick < 3; ++tick)
        rig.forwarder.InitGPSTimerTimer();
    expectPort(pty, "X\r\nY\r\n", "track 2");
    EXPECT_FALSE(rig.initGpsTimer.enabled());

    const std::string live = "$GPRMC,LIVE*00\r\n";
    rig.forwarder.SendGpsSentence(live);
    expectPort(pty, live, "live sentence");
    EXPECT_TRUE(rig.forwarder.LiveSentenceSent());
    for (int tick = 0; tick < 2; ++tick) {
        rig.initGpsTimer.setEnabled(true);
        rig.forwarder.GPSTimerTimer(); // repeats the live sentence, never reloads
        EXPECT_FALSE(rig.initGpsTimer.enabled()) << tick;
        expectPort(pty, live, "repeated live sentence");
        EXPECT_EQ(rig.shown.back(), live);
    }
    expectNothingMore(pty, rig.forwarder, "after the live phase began");
}

// On the clock from the window's creation: the tracks are read when the
// reload timer first fires, two seconds in, and the first block leaves one
// second after that; marks that the test writes into the port between the
// steps show that nothing left a millisecond early.
TEST(TrackReplay, TheFirstBlockLeavesASecondAfterTheFirstReload)
{
    PtyPair pty;
    TempFolder programFolder;
    std::ofstream(programFolder.path() + "Track1.txt", std::ios::binary) << "A\r\n\r\nB\r\n";
    ManualTimeline clock;
    TimelineTimer gpsTimer(clock);
    TimelineTimer initGpsTimer(clock);
    const auto windows = platform::makeNullWindowSystem();
    GpsForwarder forwarder(gpsTimer, initGpsTimer, *windows,
                           {programFolder.path(), pty.devicePath(), GpsForwarder::kPortWait});
    std::vector<std::string> shown;
    forwarder.SetTextOutput([&shown](const std::string& text) { shown.push_back(text); });
    gpsTimer.onTimeout([&forwarder] { forwarder.GPSTimerTimer(); });
    initGpsTimer.onTimeout([&forwarder] { forwarder.InitGPSTimerTimer(); });
    forwarder.OpenPort();

    clock.advance(1999ms);
    EXPECT_TRUE(shown.empty()) << "the tracks are read before two seconds";
    pty.writeMark("|1999|");
    clock.advance(1ms);
    EXPECT_EQ(shown, std::vector<std::string>{"(Initial GPS...)"}) << "at two seconds";
    clock.advance(999ms);
    pty.writeMark("|2999|");
    clock.advance(1ms);
    clock.advance(999ms);
    pty.writeMark("|3999|");
    EXPECT_EQ(pty.readThrough("|3999|"), "|1999||2999|A\r\n|3999|");
}
