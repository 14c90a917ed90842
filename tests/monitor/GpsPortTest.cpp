// The virtual GPS port when it is missing, refused, closed, removed, or its
// reader has stopped or gone: the GPS line says what became of it, no call
// holds the thread past the port wait,
// LatestSentence follows the port's state, and a sentence the port took only
// in part never runs into the next one. What a recorder sends as a position
// reaches the port only as one well-formed NMEA sentence.
#include "GpsForwarderRig.h"
#include "PtyPair.h"
#include "TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>

using monitor::GpsForwarder;
using testsupport::PtyPair;

namespace {

using std::chrono::milliseconds;

// Far above the time a call takes beside its wait, far below a hang.
constexpr milliseconds kSlack{1000};
const std::string kFix = "$GPRMC,095304.802,A,2712.6520,S,15303.1397,E,0.00,133.96,080407,,,A*78";
const std::string kSentence = kFix + "\r\n";

enum class PortFault
{
    NoDevice,
    NotADevice,
    FolderOthersMayWrite,
    ClosedByTheWindow,
    ReaderStopped,
};

struct PortCase
{
    const char* legend;
    PortFault fault;
    milliseconds portWait;
    bool portOpen; // and so LatestSentence is kept
};

// A stopped reader costs one wait: the writes after it do not wait again.
const PortCase kPortCases[] = {
    {"no device at the port's path", PortFault::NoDevice, milliseconds(100), false},
    {"a plain file at the port's path", PortFault::NotADevice, milliseconds(100), false},
    {"the device named in a folder others may write to", PortFault::FolderOthersMayWrite,
     milliseconds(100), false},
    {"port closed when the window closed", PortFault::ClosedByTheWindow, milliseconds(100), false},
    {"reader stopped, the device full (EAGAIN)", PortFault::ReaderStopped, milliseconds(300), true},
    {"reader stopped, a longer wait asked than the port allows", PortFault::ReaderStopped,
     milliseconds(10000), true},
};

template <typename F> milliseconds timed(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

TEST(GpsPort, FaultsAreSilentAndBounded)
{
    for (const auto& c : kPortCases) {
        PtyPair pty;
        TempFolder folder;
        std::string path = pty.devicePath();
        if (c.fault == PortFault::NoDevice)
            path += "-missing";
        if (c.fault == PortFault::NotADevice) {
            path = folder.path() + "VGPSIn";
            std::ofstream{path};
        }
        if (c.fault == PortFault::FolderOthersMayWrite) {
            path = folder.path() + "VGPSIn";
            std::filesystem::create_symlink(pty.devicePath(), path);
            std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
        }
        GpsForwarderRig rig(path, c.portWait);
        rig.forwarder.OpenPort();
        switch (c.fault) {
        case PortFault::ClosedByTheWindow:
            rig.forwarder.Close();
            break;
        case PortFault::ReaderStopped:
            pty.fillUntilFull();
            break;
        case PortFault::NoDevice:
        case PortFault::NotADevice:
        case PortFault::FolderOthersMayWrite:
            break;
        }
        const milliseconds wait = std::min(c.portWait, GpsForwarder::kPortWait);
        EXPECT_LT(timed([&] { rig.forwarder.SendGpsSentence(kSentence); }), wait + kSlack)
            << c.legend;
        EXPECT_LT(timed([&] {
                      rig.forwarder.GPSTimerTimer();
                      rig.forwarder.ForwardSelectedSentence(kFix, false);
                  }),
                  wait)
            << c.legend;

        EXPECT_EQ(rig.forwarder.GpsPortOpen(), c.portOpen) << c.legend;
        EXPECT_TRUE(rig.forwarder.LiveSentenceSent()) << c.legend;
        const std::string latest = c.portOpen ? kSentence : "";
        EXPECT_EQ(rig.forwarder.LatestSentence(), latest) << c.legend;
        if (c.fault == PortFault::FolderOthersMayWrite) {
            // From the start and in place of any other text.
            const std::string refusal = std::string(GpsForwarder::kPortRefusedText) +
                                        "other users may write to the folder " +
                                        std::filesystem::path(path).parent_path().string();
            EXPECT_EQ(rig.forwarder.PortRefusal(), refusal);
            EXPECT_EQ(rig.shown, (std::vector<std::string>{refusal, refusal})) << c.legend;
        } else {
            EXPECT_EQ(rig.forwarder.PortRefusal(), "") << c.legend;
            const bool missing = c.fault == PortFault::NoDevice || c.fault == PortFault::NotADevice;
            const std::string line = missing ? std::string(GpsForwarder::kNoPortText) : latest;
            EXPECT_EQ(rig.shown, std::vector<std::string>{line}) << c.legend;
        }
        if (c.fault == PortFault::NotADevice) {
            EXPECT_EQ(std::filesystem::file_size(path), 0u) << c.legend;
        }
    }
}

// The virtual port is made anew while the station runs: the old device dies
// under a write, the port's name now leads to a new device. The forwarder
// tells that it lost the port, opens the name again at its next GPSTimer
// tick, tells that too, and the new device's reader gets the sentences.
TEST(GpsPort, APortMadeAnewIsOpenedAgainAndTold)
{
    TempFolder folder;
    const std::string path = folder.path() + "VGPSIn";
    auto first = std::make_unique<PtyPair>();
    std::filesystem::create_symlink(first->devicePath(), path);
    GpsForwarderRig rig(path, milliseconds(200));
    std::vector<std::string> reports;
    rig.forwarder.SetPortReport([&](const std::string& text) { reports.push_back(text); });
    rig.forwarder.OpenPort();
    rig.forwarder.SendGpsSentence(kSentence);
    EXPECT_EQ(first->read(kSentence.size()), kSentence);

    first->hangUp(); // its maker stopped
    rig.forwarder.SendGpsSentence(kSentence);
    EXPECT_TRUE(rig.forwarder.GpsPortLost());
    EXPECT_FALSE(rig.forwarder.GpsPortOpen());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("GPS port lost: " + path, 0), 0u) << reports[0];
    rig.forwarder.GPSTimerTimer(); // nothing there yet
    EXPECT_TRUE(rig.forwarder.GpsPortLost());
    EXPECT_EQ(rig.shown.back(), GpsForwarder::kPortLostText);

    PtyPair second; // and started again: the name leads to a new device
    std::filesystem::remove(path);
    std::filesystem::create_symlink(second.devicePath(), path);
    rig.forwarder.GPSTimerTimer();
    EXPECT_FALSE(rig.forwarder.GpsPortLost());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], "GPS port open again: " + path);
    EXPECT_EQ(second.read(kSentence.size()), kSentence) << "the latest sentence is sent again";
    EXPECT_EQ(rig.shown.back(), kSentence);
    rig.forwarder.ForwardSelectedSentence(kFix, false);
    EXPECT_EQ(second.read(kSentence.size()), kSentence);
}

// The GPS line and the port report through the port's life, one GPSTimer tick
// (and what comes before it) a step: no port at start, the port made while
// the station runs, a recorder's position, the port's name removed by hand
// and made again, and made anew on another device. After each step, what
// reached the device that the name leads to (or led to last) is exactly what
// the step sent.
TEST(GpsPort, TheGpsLineFollowsThePortThroughItsLife)
{
    struct Scene
    {
        TempFolder folder;
        std::string path = folder.path() + "VGPSIn";
        PtyPair first;
        PtyPair second;
        PtyPair* device = &first; // what the name leads to, or led to last
        GpsForwarderRig rig{path, milliseconds(200)};
        std::vector<std::string> reports;

        void link(PtyPair& pty)
        {
            std::filesystem::remove(path);
            std::filesystem::create_symlink(pty.devicePath(), path);
            device = &pty;
        }
        void tick() { rig.forwarder.GPSTimerTimer(); }
    };
    struct Step
    {
        const char* legend;
        void (*act)(Scene&);
        std::string_view line;    // the GPS line after the step
        const char* report;       // how the step's port report begins, before the path
        std::string reached = {}; // what the device read
    };
    const Step steps[] = {
        {"no port at start", [](Scene& s) { s.tick(); }, GpsForwarder::kNoPortText, nullptr},
        {"the port made: the initial track",
         [](Scene& s) {
             s.link(s.first);
             s.tick();
             s.rig.forwarder.InitGPSTimerTimer();
         },
         GpsForwarder::kInitialGpsText, "GPS port open: ", "A\r\n"},
        {"a recorder's position, repeated by the tick",
         [](Scene& s) {
             s.rig.forwarder.ForwardSelectedSentence(kFix, false);
             s.tick();
         },
         kSentence, nullptr, kSentence + kSentence},
        {"the name removed by hand",
         [](Scene& s) {
             std::filesystem::remove(s.path);
             s.tick();
             s.rig.forwarder.ForwardSelectedSentence(kFix, false);
             s.rig.forwarder.InitGPSTimerTimer();
         },
         GpsForwarder::kPortRemovedText, "GPS port removed: "},
        {"no name yet", [](Scene& s) { s.tick(); }, GpsForwarder::kPortRemovedText, nullptr},
        {"the name made again",
         [](Scene& s) {
             s.link(s.first);
             s.tick();
         },
         kSentence, "GPS port open again: ", kSentence},
        {"the name given to another device",
         [](Scene& s) {
             s.link(s.second);
             s.tick();
         },
         kSentence, "GPS port open again: ", kSentence},
    };

    Scene s;
    s.rig.writeFile("Track1.txt", "A\r\n\r\nB\r\n");
    s.rig.forwarder.SetPortReport([&s](const std::string& text) { s.reports.push_back(text); });
    s.rig.forwarder.OpenPort();
    const std::string mark = "|mark|";
    for (const Step& step : steps) {
        SCOPED_TRACE(step.legend);
        const std::size_t reportsBefore = s.reports.size();
        step.act(s);
        ASSERT_FALSE(s.rig.shown.empty());
        EXPECT_EQ(s.rig.shown.back(), step.line);
        if (step.report) {
            ASSERT_EQ(s.reports.size(), reportsBefore + 1);
            EXPECT_TRUE(s.reports.back().starts_with(step.report + s.path)) << s.reports.back();
        } else {
            EXPECT_EQ(s.reports.size(), reportsBefore);
        }
        s.device->writeMark(mark);
        EXPECT_EQ(s.device->readThrough(mark), step.reached + mark);
    }
}

// The reader stops with room for part of a long sentence only. The sentence
// goes out in part; the next one finds no room at all; once the reader reads
// again, every line it sees holds at most one sentence, and the last
// sentence arrives whole.
TEST(GpsPort, PartWrittenSentenceNeverRunsIntoTheNext)
{
    PtyPair pty;
    GpsForwarderRig rig(pty.devicePath(), milliseconds(200));
    rig.forwarder.OpenPort();
    pty.fillUntilFull();
    pty.read(300); // frees less room than the long sentence needs

    const std::string longSentence = "$GPLONG," + std::string(10000, 'A') + "*00\r\n";
    const std::string second = "$GPRMC,SECOND*00\r\n";
    const std::string last = "$GPRMC,LAST*00\r\n";
    rig.forwarder.SendGpsSentence(longSentence);
    rig.forwarder.SendGpsSentence(second);
    // The reader wakes up; the station goes on sending, as its timers do.
    auto reader = std::async(std::launch::async, [&] { return pty.readThrough(last); });
    do
        rig.forwarder.SendGpsSentence(last);
    while (reader.wait_for(milliseconds(50)) != std::future_status::ready);
    const std::string seen = reader.get();

    bool sawPartOfTheLongSentence = false;
    std::size_t start = 0;
    while (start < seen.size()) {
        const std::size_t end = std::min(seen.find("\r\n", start), seen.size());
        const std::string line = seen.substr(start, end - start);
        EXPECT_LE(std::count(line.begin(), line.end(), '$'), 1) << line.substr(0, 80);
        if (line.starts_with("$GPLONG,") && line.size() + 2 < longSentence.size())
            sawPartOfTheLongSentence = true;
        start = end + 2;
    }
    EXPECT_TRUE(sawPartOfTheLongSentence) << "the port took all of the long sentence";
    EXPECT_TRUE(seen.ends_with("\r\n" + last));
}

// A recorder's position text against what the navigation software reads from
// the port: the selected recorder sends a good fix, then the payload, then the
// 2-second timer repeats the latest sentence and an end mark follows. A
// payload that is not one well-formed sentence (once its zero byte and the
// line end before it are taken off) never reaches the port, the GPS line or
// the repeat; the good fix before it goes on being repeated.
TEST(GpsPort, OnlyWellFormedSentencesReachTheNavigationSoftware)
{
    struct Payload
    {
        const char* legend;
        std::string text; // as the event holds it, up to its zero byte
        bool forwarded;
        std::string sent = {}; // what goes out before CR LF, when not the text
    };
    const std::string fix2 = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D";
    std::string lowerCase = fix2;
    lowerCase.back() = 'd';
    std::string wrongSum = kFix;
    wrongSum.back() = '9';
    std::string everyByte;
    for (int b = 1; b <= 255; ++b)
        everyByte.push_back(static_cast<char>(b));
    const std::string longest = "$GPTXT," + std::string(80 - 7, 'A'); // 82 with CR LF
    const Payload payloads[] = {
        {"a real fix with its checksum", fix2, true},
        {"checksum digits in lower case", lowerCase, true},
        {"no checksum", "$GPRMC,225308,A,4527.458,S", true},
        {"80 characters, 82 with CR LF", longest, true},
        {"the text ends at its zero byte", fix2 + '\0' + "\r\n$FORGED", true, fix2},
        {"81 characters", longest + "A", false},
        {"wrong checksum", wrongSum, false},
        {"one checksum digit", "$GPRMC,1*5", false},
        {"three checksum digits", "$GPRMC,1*560", false},
        {"checksum not hex", "$GPRMC,1*5G", false},
        {"a fix with its own CR LF", fix2 + "\r\n", true, fix2},
        {"a fix and a line feed", fix2 + "\n", true, fix2},
        {"a fix, CR LF and a zero byte", fix2 + "\r\n" + '\0', true, fix2},
        {"a fix, a line feed and zero bytes", fix2 + "\n" + '\0' + '\0', true, fix2},
        {"a fix and a zero byte", fix2 + '\0', true, fix2},
        {"a fix, CR LF, a zero byte and a blank", fix2 + "\r\n" + '\0' + ' ', true, fix2},
        {"80 characters and CR LF", longest + "\r\n", true, longest},
        {"81 characters and CR LF", longest + "A\r\n", false},
        {"a fix, CR LF and a forged fix", fix2 + "\r\n" + kFix, false},
        {"a fix, CR LF and a blank", fix2 + "\r\n ", false},
        {"a line end alone", "\r\n", false},
        {"a carriage return inside", "$GPRMC,1\r,2", false},
        {"a second start inside", "$GPRMC,1$GPRMC,2", false},
        {"an encapsulated start inside", "$GPRMC,1!AIVDM", false},
        {"no \"$\"", "GPRMC,1", false},
        {"a blank before \"$\"", " $GPRMC,1", false},
        {"\"$\" alone", "$", false},
        {"empty", "", false},
        {"a tab", "$GPRMC,\t1", false},
        {"Windows-1252 letter", "$GPRMC,Caf\xE9", false},
        {"DEL", "$GPRMC,\x7F", false},
        {"bytes 1 to 255", "$" + everyByte, false},
        {"a 40,000-byte line", "$GPRMC," + std::string(40000, '1'), false},
    };
    const std::string endMark = "$GPTXT,END";
    for (const Payload& p : payloads) {
        SCOPED_TRACE(p.legend);
        PtyPair pty;
        GpsForwarderRig rig(pty.devicePath());
        rig.forwarder.OpenPort();
        rig.forwarder.ForwardSelectedSentence(kFix, false);
        rig.forwarder.ForwardSelectedSentence(p.text, false);
        rig.forwarder.GPSTimerTimer();
        rig.forwarder.ForwardSelectedSentence(endMark, false);

        const std::string latest =
            (p.forwarded ? (p.sent.empty() ? p.text : p.sent) : kFix) + "\r\n";
        const std::string expected =
            kSentence + (p.forwarded ? latest : "") + latest + endMark + "\r\n";
        EXPECT_EQ(pty.readThrough(endMark + "\r\n"), expected);
        EXPECT_EQ(rig.shown, std::vector<std::string>{latest}) << "the GPS line";
    }
}
