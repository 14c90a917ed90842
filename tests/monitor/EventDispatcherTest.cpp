// The dispatcher driven tick by tick with a hand-set clock, a real event queue
// fed through HostCallback, a real registry, archive (files in a temporary
// program folder) and GPS forwarder, and a window that only records.
#include "EventDispatcher.h"

#include "Archive.h"
#include "DeviceRegistry.h"
#include "DispatchTiming.h"
#include "EventText.h"
#include "GpsForwarderRig.h"
#include "HostEventQueue.h"
#include "ManualClock.h"
#include "QueueTestSupport.h"
#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <stdexcept>

using namespace monitor;
using namespace monitor::testing;
using testsupport::ManualClock;
using testsupport::ManualTimer;

namespace {

// The window as the dispatcher sees it: what it last showed, and how often.
struct RecordedView final : DispatcherView
{
    void setStatusText(Panel panel, const std::string& text) override { panels[panel] = text; }
    void setReceivingVisible(bool visible) override { receiving = visible; }
    void setEventCaption(const std::string& caption) override { eventCaption = caption; }
    void centreEventCaption() override { ++centred; }
    void setElapsed(const std::string& text) override { elapsed = text; }
    void processMessages() override { ++messageRuns; }

    std::map<Panel, std::string> panels;
    bool receiving = false;
    std::string eventCaption;
    int centred = 0;
    std::string elapsed;
    int messageRuns = 0;
};

// No navigation program runs; the dispatcher's calls into the desktop are counted.
struct CountingWindows final : platform::WindowSystem
{
    std::vector<platform::NativeWindow> topLevelWindows() override
    {
        ++searches;
        return {};
    }
    std::string className(platform::NativeWindow) override { return {}; }
    std::string title(platform::NativeWindow) override { return {}; }
    bool setTitle(platform::NativeWindow, std::string_view) override { return false; }
    platform::NativeWindow foregroundWindow() override { return platform::kNoWindow; }
    bool bringToForeground(platform::NativeWindow) override { return false; }
    bool setTopmost(platform::NativeWindow, bool topmost) override
    {
        topmostCalls.push_back(topmost);
        return true;
    }
    int searches = 0;
    std::vector<bool> topmostCalls;
};

using Panel = DispatcherView::Panel;

std::string loginText(const std::string& serial, const std::string& id)
{
    return "QUVEX," + serial + ",10.0.0.1,Fleet,Driver,Depot," + id;
}

Bytes packetData(const std::string& text)
{
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

class EventDispatcherTest : public ::testing::Test
{
protected:
    EventDispatcherTest()
    {
        registry.setNavigationRetitle(
            [this](const std::string& key) { gps.forwarder.RetitleNavigationWindow(key); });
        archive.BuildDayFolder();
        timer1.setEnabled(true);
    }

    // Queues a login of recorder "serial_id".
    std::string login(const std::string& serial, const std::string& id = "ID")
    {
        report(serial + "_" + id, Code::QUVEX_INFO, packetData(loginText(serial, id)));
        return serial + "_" + id;
    }
    void packet(const std::string& key, std::int32_t code, const std::string& text)
    {
        report(key, code, packetData(text));
    }
    void logout(const std::string& key) { reportNotice(key, Code::CONNECTION_CLOSED); }
    // Ticks until the queue is empty, the clock 20 ms on per tick.
    void drain()
    {
        for (int i = 0; i < EventQueue::Capacity && !queueEmpty(); ++i)
            tick();
    }
    void tick()
    {
        clock.advance(20);
        dispatcher.Timer1Timer();
    }
    bool queueEmpty()
    {
        const auto held = queue.lock();
        return queue.ring(held).empty();
    }
    std::vector<std::string> listedKeys() const
    {
        std::vector<std::string> keys;
        for (int i = 0; i < registry.lists().count(); ++i)
            keys.push_back(registry.lists().key(i));
        return keys;
    }
    std::string deviceFolder(const std::string& key) const { return archive.DeviceFolder(key); }
    static std::size_t filesIn(const std::string& folder)
    {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
            ++n;
        return n;
    }

    HostEventQueue queue;
    ManualClock clock{{2026, 12, 7, 10, 0, 0, 0}, 100000};
    ManualTimer timer1{EventDispatcher::kTickInterval};
    CountingWindows windows;
    GpsForwarderRig gps{"/nonexistent/VGPSIn", GpsForwarder::kPortWait, &windows};
    DeviceRegistry registry{clock};
    Archive archive{gps.programFolder.path(), clock, registry.lists()};
    int alarms = 0;
    RecordedView view;
    EventDispatcher dispatcher{
        {queue, timer1, registry, archive, gps.forwarder, [this] { ++alarms; }, view, clock}};
};

TEST_F(EventDispatcherTest, RefreshRunsOnceMoreThanASecondHasPassed)
{
    dispatcher.Timer1Timer(); // the first tick refreshes: the last refresh was at tick 0
    EXPECT_EQ(view.panels[Panel::Clock], "2026.12.07, 10:00:00");
    EXPECT_EQ(dispatcher.LastRefreshTicks(), 100000u);
    EXPECT_TRUE(timer1.enabled());

    clock.advance(1000);
    dispatcher.Timer1Timer();
    EXPECT_EQ(view.centred, 1) << "1000 ms after the refresh: none";
    clock.advance(1);
    dispatcher.Timer1Timer();
    EXPECT_EQ(view.centred, 2) << "1001 ms after it: one";
    EXPECT_EQ(view.panels[Panel::Clock], "2026.12.07, 10:00:01");

    // The tick counter wraps after 2^32 ms; the difference still counts right.
    clock.setTicks(0xFFFFFF00u);
    dispatcher.Timer1Timer();
    clock.setTicks(0x000002F0u); // 1008 ms later, across the wrap
    dispatcher.Timer1Timer();
    EXPECT_EQ(view.centred, 4);
    clock.setTicks(0x000006D8u); // 1000 ms later
    dispatcher.Timer1Timer();
    EXPECT_EQ(view.centred, 4);
}

TEST_F(EventDispatcherTest, LoginsAndLogoutsKeepTheListsInStep)
{
    const std::string a = login("SN1"), b = login("SN2"), c = login("SN3");
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Login");
    EXPECT_EQ(registry.lists().selectedKey(), a) << "the first recorder is selected";
    EXPECT_TRUE(registry.lists().locateEnabled());
    drain();
    EXPECT_EQ(listedKeys(), (std::vector<std::string>{a, b, c}));
    EXPECT_EQ(view.panels[Panel::Connections], "3");
    EXPECT_EQ(registry.lists().selectedKey(), a) << "later logins leave the selection";
    EXPECT_EQ(alarms, 3);
    EXPECT_TRUE(std::filesystem::is_directory(deviceFolder(c)));

    login("SN2"); // listed already
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Processing...");
    EXPECT_EQ(listedKeys().size(), 3u);
    EXPECT_EQ(alarms, 4) << "a second login still arms the alarm";

    logout("10.0.0.9"); // never logged in: its key is its address
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Processing...");
    EXPECT_EQ(listedKeys().size(), 3u);

    // Removal positions: the selection moves to the removed position, or the
    // one before it.
    logout(c); // last of three while the first is selected
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Logout");
    EXPECT_EQ(registry.lists().selected(), 1);
    EXPECT_EQ(registry.lists().selectedKey(), b);
    login("SN3");
    drain();
    logout(a); // first of three
    tick();
    EXPECT_EQ(registry.lists().selected(), 0);
    EXPECT_EQ(registry.lists().selectedKey(), b);
    EXPECT_EQ(view.panels[Panel::Connections], "2");
    logout(c);
    tick();
    const std::string shown = registry.lists().locateShownText();
    EXPECT_EQ(shown, "Depot_ID");
    logout(b); // the only one
    tick();
    EXPECT_EQ(registry.lists().count(), 0);
    EXPECT_EQ(registry.lists().selected(), DeviceLists::kNone);
    EXPECT_FALSE(registry.lists().locateEnabled());
    EXPECT_EQ(registry.lists().locateStyle(), LocateStyle::FreeText);
    EXPECT_EQ(registry.lists().locateShownText(), shown) << "the old text stays in view";
    EXPECT_EQ(view.panels[Panel::Connections], "0");
    EXPECT_EQ(alarms, 5) << "logouts do not arm the alarm";
}

TEST_F(EventDispatcherTest, CaptionFromChannelAndEventTime)
{
    const std::string key = login("SN1");
    tick();
    struct Case
    {
        const char* legend;
        std::int32_t code;
        const char* text;
        const char* caption;
    };
    const Case cases[] = {
        {"an event time naming a channel", Code::CMD_QUVEX_TIME_EVENT, "Channel:9,",
         "Event time:Channel:9"},
        {"and again: the caption does not grow", Code::CMD_QUVEX_TIME_EVENT, "Channel:9,",
         "Event time:Channel:9"},
        {"an event time alone", Code::CMD_QUVEX_TIME_EVENT, "14:05:09,rest", "Event time:14:05:09"},
        {"a clip of channel 2 first", Code::CMD_MPEG4_I_CH2, "x", "Channel:2 ,Event time:14:05:09"},
        {"all channels", Code::CMD_MPEG4_I_4in1, "x", "Channel:ALL ,Event time:14:05:09"},
        {"a text without a comma ends the event time", Code::CMD_QUVEX_TIME_EVENT, "no comma",
         "Channel:ALL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        packet(key, c.code, c.text);
        tick();
        clock.advance(1001);
        dispatcher.Timer1Timer();
        EXPECT_EQ(view.eventCaption, c.caption);
    }
    EXPECT_EQ(dispatcher.ChannelText(), "ALL");
    EXPECT_EQ(dispatcher.EventTimeText(), "");
}

TEST_F(EventDispatcherTest, ClipsAboveTheThresholdAreKept)
{
    const std::string key = login("SN1");
    tick();
    const int armed = alarms;
    report(key, Code::CMD_MPEG4_I_CH1, Bytes(2000, 7)); // Length 2000: not kept
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Video");
    EXPECT_EQ(alarms, armed + 1);
    EXPECT_EQ(filesIn(deviceFolder(key)), 0u);
    report(key, Code::CMD_MPEG4_I_CH4, Bytes(2001, 7));
    tick();
    EXPECT_EQ(filesIn(deviceFolder(key)), 1u);
    EXPECT_EQ(dispatcher.ChannelText(), "4");
}

TEST_F(EventDispatcherTest, PositionsOfTheSelectedRecorderAreForwarded)
{
    const std::string a = login("SN1"), b = login("SN2");
    drain();
    const int armed = alarms;

    packet(b, Code::CMD_GPRMC_DATA, "$GPRMC,B");
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Processing...") << "unselected: archived only";
    EXPECT_EQ(gps.forwarder.SelectedDeviceSentence(), "");
    EXPECT_EQ(filesIn(deviceFolder(b)), 1u);
    EXPECT_TRUE(windows.topmostCalls.empty());

    registry.setUserBusy(true);
    packet(a, Code::CMD_GPRMC_DATA, "$GPRMC,A");
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "GPRMC");
    EXPECT_EQ(gps.forwarder.SelectedDeviceSentence(), "$GPRMC,A\r\n");
    EXPECT_TRUE(windows.topmostCalls.empty()) << "a busy user keeps the foreground";

    registry.setUserBusy(false);
    packet(a, Code::CMD_GPRMC_DATA, "$GPRMC,A2");
    tick();
    EXPECT_EQ(windows.topmostCalls, std::vector<bool>{false})
        << "no navigation window: ours leaves the topmost band";
    EXPECT_EQ(alarms, armed + 3);
    EXPECT_EQ(filesIn(deviceFolder(a)), 2u);
}

TEST_F(EventDispatcherTest, ElapsedTimeAndTheOnceASecondStepsFollowTheSelection)
{
    const std::string key = login("SN1");
    tick();
    clock.advance(25LL * 60 * 60 * 1000); // 25 hours
    dispatcher.Timer1Timer();
    EXPECT_EQ(view.elapsed, "Elapsed 01:00:00");
    const int searches = windows.searches;
    EXPECT_GT(searches, 0)
        << "a selected recorder makes the refresh look for the navigation window";

    logout(key);
    tick();
    clock.advance(1001);
    dispatcher.Timer1Timer();
    clock.advance(1001);
    dispatcher.Timer1Timer();
    EXPECT_EQ(windows.searches, searches) << "no recorder selected: no search, no title, no resend";
    EXPECT_EQ(view.elapsed, "") << "no connected time of a recorder that has left";
}

TEST_F(EventDispatcherTest, NoticesAndFailuresEndTheirTickCleanly)
{
    reportNotice("10.0.0.9", Code::CONNECTION_TIMED_OUT);
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "Processing...");
    tick();
    EXPECT_EQ(view.panels[Panel::Activity], "") << "an empty queue clears the word";

    reportNotice("10.0.0.9", Code::DATA_RECEIVED);
    for (int i = 1; i <= EventDispatcher::kReceivingTicks; ++i) {
        tick();
        EXPECT_EQ(view.receiving, i < EventDispatcher::kReceivingTicks) << "tick " << i;
    }

    // A step that throws ends the tick, not the dispatcher.
    EventDispatcher failing{{queue, timer1, registry, archive, gps.forwarder,
                             [] { throw std::runtime_error("alarm failed"); }, view, clock}};
    const std::string key = login("SN1");
    login("SN2");
    failing.Timer1Timer();
    EXPECT_TRUE(timer1.enabled());
    EXPECT_EQ(listedKeys(), std::vector<std::string>{key});
    std::thread producer([] { reportNotice("10.0.0.9", Code::CONNECTION_TIMED_OUT); });
    producer.join(); // QueueLock was left: another thread gets in
    failing.Timer1Timer();
    EXPECT_EQ(listedKeys().size(), 2u);
}

TEST(EventTextTest, EndsAtTheFirstZeroByteOrTheLength)
{
    const struct
    {
        const char* legend;
        Bytes data;
        std::string_view text;
    } cases[] = {
        {"packet data ends in a zero byte", {'a', 'b', 0}, "ab"},
        {"a zero inside ends the text", {'a', 0, 'b', 0}, "a"},
        {"no zero: the whole data", {'a', 'b'}, "ab"},
        {"empty data", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EventText(c.data), c.text) << c.legend;
}

// The measuring record names the event each tick handled (-1: none) and marks
// the tick that refreshed, one line of six fields per tick.
TEST_F(EventDispatcherTest, TimedTicksRecordTheirEventAndRefresh)
{
    TempFolder folder;
    const std::string path = folder.path() + "timing.txt";
    const std::string key = login("SN1");
    packet(key, Code::CMD_GPRMC_DATA, "$GPRMC,1");
    {
        DispatchTiming timing(path);
        ASSERT_TRUE(timing.writing());
        for (int i = 0; i < 3; ++i)
            timing.timeTick(queue, dispatcher);
    }
    const struct
    {
        const char* legend;
        std::int32_t code;
        int refreshed;
    } expected[] = {
        {"the login, in the first tick, which refreshes", Code::QUVEX_INFO, 1},
        {"the position", Code::CMD_GPRMC_DATA, 0},
        {"nothing queued", DispatchTiming::kNoEvent, 0},
    };
    std::ifstream in(path);
    std::string line;
    for (const auto& e : expected) {
        ASSERT_TRUE(std::getline(in, line)) << e.legend;
        std::istringstream fields(line);
        std::int64_t start = 0, wall = 0, cpu = 0, between = 0;
        std::int32_t code = 0;
        int refreshed = 0;
        ASSERT_TRUE(fields >> start >> code >> wall >> cpu >> refreshed >> between) << e.legend;
        EXPECT_EQ(code, e.code) << e.legend;
        EXPECT_EQ(refreshed, e.refreshed) << e.legend;
    }
    EXPECT_FALSE(std::getline(in, line)) << "one line per tick";
}

} // namespace
