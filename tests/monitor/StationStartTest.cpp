// Start-up of the station without its window, with the real receiver
// library, and the program as a process.
//
// In this process a Station, given views and timers that only record, starts
// the library on a free port: what the journal held from the last run is
// archived before any recorder can call in, a recorder that calls in is
// acknowledged and the dispatcher's ticks list it; a second station of the
// same user stops at its lock; a taken port is told once and tried again at
// each tick of its timer until it is free. As a process, the program copied
// into a folder of its own runs once per user: a second start ends at once
// with exit code 0, and a killed station leaves no lock behind; its help and
// a start ended by SIGTERM or Ctrl-C leave standard error empty of the
// toolkit's notices, and the signals end it in order.
#include "Alarm.h"
#include "AlarmView.h"
#include "ChildProcess.h"
#include "ClipViewer.h"
#include "DeviceDetailsView.h"
#include "DeviceInfoText.h"
#include "DeviceLists.h"
#include "DeviceRegistry.h"
#include "DispatcherView.h"
#include "EventJournal.h"
#include "HostCallback.h"
#include "ManualTimer.h"
#include "RecorderConnection.h"
#include "RecordingSound.h"
#include "Station.h"
#include "StationTestSupport.h"
#include "StationView.h"
#include "TcpSocket.h"
#include "TempFolder.h"
#include "kavrel.h"
#include "kavrel_events.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

using namespace monitor;
using namespace stationtest;
using testsupport::ChildProcess;
using testsupport::ManualTimer;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr auto kProcessBound = 20s;
// Tries while the port is taken, after the first start.
constexpr int kRetriesWhileTaken = 3;

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

// Polls until the port accepts or the bound passes.
bool waitUntilAccepting(std::uint16_t port, std::chrono::steady_clock::duration bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
        if (accepts(port))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// The stations' single-instance locks live in the session's runtime folder:
// a temporary one of this test program, gone at its end.
class RuntimeFolder final : public ::testing::Environment
{
public:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", m_folder.path().c_str(), 1); }

private:
    TempFolder m_folder;
};
const auto* const g_runtimeFolder = ::testing::AddGlobalTestEnvironment(new RuntimeFolder);

// Every view of the station, recording what it is told.
class RecordedViews final : public StationView,
                            public DeviceDetailsView,
                            public ClipViewer,
                            public AlarmView,
                            public DispatcherView
{
public:
    std::uintptr_t nativeWindow() override { return 0; }
    void layOutSmallMovie() override {}
    std::optional<std::string> loadIdleMovie(const std::string& path) override
    {
        idleMovie = path;
        return std::nullopt;
    }
    void clearTexts() override {}
    void showEnlargeGlyph() override {}
    void showListening(const std::string& text, bool listening) override
    {
        listenLines.push_back({text, listening});
    }
    void showStorageStatus(const std::string&) override {}
    void showRetention(const std::vector<std::string>&, bool) override {}
    void showSettingsProblems(const std::vector<std::string>&) override {}
    void showGpsSentence(const std::string&) override {}
    void tellStartupErrors(const std::vector<std::string>& told) override
    {
        errors.insert(errors.end(), told.begin(), told.end());
    }
    void post(std::function<void()>) override {}
    void beep() override {}

    void showDetails(const DeviceDetails& shown) override { details = shown; }
    void showFile(const std::string&) override {}
    void closeMovie() override {}
    void showFrames(bool, bool) override {}
    void enableSoundChoice(bool) override {}
    void setStatusText(Panel panel, const std::string& text) override
    {
        if (panel == Panel::Connections)
            connections = text;
    }
    void setReceivingVisible(bool) override {}
    void setEventCaption(const std::string&) override {}
    void centreEventCaption() override {}
    void setElapsed(const std::string&) override {}
    void processMessages() override {}

    std::string idleMovie;
    std::vector<std::pair<std::string, bool>> listenLines;
    std::vector<std::string> errors;
    DeviceDetails details;
    std::string connections;
};

// A station over recorded views and manual timers.
struct StationRig
{
    explicit StationRig(StationOptions options)
    {
        options.alarmSound = &sound;
        station = std::make_unique<Station>(
            std::move(options), Station::Views{views, views, views, views, views},
            Station::Timers{timer1, tmrAlarm, gpsTimer, initGpsTimer, listenRetry, retention});
    }
    RecordedViews views;
    testsupport::RecordingSound sound;
    ManualTimer timer1, tmrAlarm, gpsTimer, initGpsTimer, listenRetry, retention;
    std::unique_ptr<Station> station;
};

// The receiver library as the program starts it, stopped at the end.
struct LibraryStop
{
    ~LibraryStop() { GPRSFree(); }
};

std::vector<std::uint8_t> bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

TEST(StationStart, ArchivesTheJournalBeforeServingAndDispatchesARecorder)
{
    ProgramFolder folder;
    const platform::LocalTime lastRun{2026, 12, 6, 10, 0, 0, 0};
    {
        // An event the last run acknowledged and did not archive.
        EventJournal journal(folder.path() + std::string(EventJournal::kFileName));
        int error = 0;
        std::vector<std::uint8_t> sentence = bytesOf("$GPRMC,last");
        sentence.push_back(0); // the library's zero byte
        ASSERT_TRUE(
            journal.append("SN9_ID", kavrel::EventCode::CMD_GPRMC_DATA, sentence, lastRun, error))
            << error;
    }
    const std::string recovered = folder.path() + "2026/12/06/SN9_ID";
    StationOptions options = stationOptions(folder);
    const LibraryStop stopLibrary;
    struct AtReceiverStart
    {
        bool journalArchived = false;
        bool idleMovieLoaded = false;
        bool dispatching = true;
    } atStart;
    StationRig* rig = nullptr;
    options.startReceiver = [&](void* window, std::int32_t port) {
        atStart.journalArchived = fs::is_directory(recovered) && !fs::is_empty(recovered);
        atStart.idleMovieLoaded = rig->views.idleMovie == folder.path() + "nopicture.mov";
        atStart.dispatching = rig->timer1.enabled();
        ASSERT_EQ(GPRSInitial(window, port), 0);
        GPRSRegisterCallbackInformation(&HostCallback);
    };
    StationRig station(options);
    rig = &station;
    Station& s = *station.station;
    s.FormCreate();

    EXPECT_TRUE(atStart.journalArchived) << "a recorder could call before the journal was archived";
    EXPECT_TRUE(atStart.idleMovieLoaded);
    EXPECT_FALSE(atStart.dispatching) << "the dispatcher ran before the receiver started";
    EXPECT_TRUE(station.views.errors.empty());
    EXPECT_TRUE(s.Listening());
    EXPECT_TRUE(station.timer1.enabled());
    EXPECT_TRUE(station.gpsTimer.enabled());

    // A recorder logs in and is acknowledged; the dispatcher's ticks list it.
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", static_cast<std::uint16_t>(options.port), 5s))
        << recorder.lastError();
    std::string text;
    recorder::appendDeviceInfoText(text, deviceInfo());
    const auto result =
        recorder.sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), 10s);
    ASSERT_TRUE(result.ok()) << result.error;
    for (int tick = 0; tick < 10 && s.registry().lists().count() == 0; ++tick)
        s.Timer1Timer();
    ASSERT_EQ(s.registry().lists().count(), 1);
    EXPECT_EQ(s.registry().lists().indexOf("SN1001_ID7"), 0);
    EXPECT_EQ(station.views.connections, "1");
}

TEST(StationStart, ASecondStationOfTheUserStopsAtItsLockAndTouchesNothing)
{
    ProgramFolder firstFolder;
    ProgramFolder secondFolder;
    StationOptions options = stationOptions(firstFolder);
    options.startReceiver = [](void*, std::int32_t) {};
    StationRig first(options);
    first.station->FormCreate();
    ASSERT_FALSE(first.station->isSecondInstance());

    options = stationOptions(secondFolder);
    bool started = false;
    options.startReceiver = [&](void*, std::int32_t) { started = true; };
    StationRig second(options);
    second.station->FormCreate();

    EXPECT_TRUE(second.station->isSecondInstance());
    EXPECT_FALSE(started);
    EXPECT_EQ(second.station->eventQueue(), nullptr);
    EXPECT_EQ(second.station->archive(), nullptr);
    EXPECT_FALSE(second.timer1.enabled());
    EXPECT_TRUE(second.views.errors.empty()) << "not an error: the program ends quietly";
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(secondFolder.path()))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"nopicture.mov"});
}

// Another program holds the port: the station says so once in the window's
// line (no message box), with the port and the system's reason, works on,
// tries again at each tick of its timer and listens as soon as the port is
// free. It says so, until the first data comes and "Receiving......" is seen
// again.
TEST(StationStart, ATakenPortIsToldOnceAndTriedAtEachTickUntilItIsFree)
{
    ProgramFolder folder;
    const std::uint16_t port = freePort();
    auto otherProgram = std::make_unique<platform::TcpListener>();
    otherProgram->listen(port, 1);
    StationOptions options = stationOptions(folder, port);
    options.listenRetry = 100ms;
    options.listenNotice = 300ms;
    StationRig station(options);
    const LibraryStop stopLibrary;
    Station& s = *station.station;
    s.FormCreate();

    EXPECT_FALSE(s.Listening());
    EXPECT_TRUE(station.views.errors.empty()) << "the window's line tells it, not a box";
    ASSERT_EQ(station.views.listenLines.size(), 1u);
    const std::string told = station.views.listenLines[0].first;
    EXPECT_NE(told.find(std::to_string(port)), std::string::npos) << told;
    EXPECT_NE(told.find(std::strerror(EADDRINUSE)), std::string::npos) << told;
    EXPECT_FALSE(station.views.listenLines[0].second);
    EXPECT_TRUE(station.listenRetry.enabled());
    EXPECT_EQ(station.listenRetry.interval(), 100ms);
    EXPECT_TRUE(station.timer1.enabled()) << "the station works on";

    for (int retry = 0; retry < kRetriesWhileTaken; ++retry)
        s.retryListening(); // still taken
    EXPECT_FALSE(s.Listening());
    EXPECT_EQ(station.views.listenLines.size(), 1u) << "told once, not at every try";

    otherProgram.reset();
    s.retryListening();
    ASSERT_TRUE(s.Listening());
    const std::pair receiving("Receiving on port " + std::to_string(port) + " now.", true);
    EXPECT_EQ(station.views.listenLines.back(), receiving);
    EXPECT_TRUE(station.listenRetry.enabled()) << "the notice's time runs";
    EXPECT_EQ(station.listenRetry.interval(), 300ms);
    EXPECT_TRUE(accepts(port));
    EXPECT_TRUE(station.views.errors.empty());

    s.Timer1Timer();
    EXPECT_EQ(station.views.listenLines.back(), receiving) << "no data yet";
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", port, 5s)) << recorder.lastError();
    ASSERT_TRUE(
        recorder
            .sendPacket(kavrel::EventCode::CMD_GPRMC_DATA, recorder::textBytes("$GPRMC,first"), 10s)
            .ok());
    for (int tick = 0; tick < 10 && station.views.listenLines.back() == receiving; ++tick)
        s.Timer1Timer();
    EXPECT_EQ(station.views.listenLines.back(), std::pair(std::string(), true))
        << "the first data ends the notice";
    EXPECT_FALSE(station.listenRetry.enabled());
    s.retryListening();
    EXPECT_EQ(station.views.listenLines.size(), 3u);
}

// The same test in a copy of this program in a folder of its own, where the
// library finds quvex.ini asking for its log file: the retries leave the
// library's start and the port's failure in the log once each, and once that
// it listens.
TEST(StationProcess, ATakenPortIsLoggedOnceByTheLibrary)
{
    TempFolder programFolder;
    const std::string program = programFolder.path() + "monitor_station_start_test";
    fs::copy_file("/proc/self/exe", program);
    fs::copy_file(builtIdleMovie(), programFolder.path() + "nopicture.mov");
    std::ofstream(programFolder.path() + "quvex.ini")
        << "[Option]\r\nWANT_LOG=1\r\nSAVE_DATA=1\r\n";
    ChildProcess copy({program, "--gtest_filter=StationStart.ATakenPort*"},
                      ChildProcess::Output::CaptureBoth);
    std::string said;
    while (const auto line = copy.readLine(kProcessBound))
        said += *line + "\n";
    ASSERT_TRUE(copy.waitExit(kProcessBound));
    ASSERT_EQ(copy.exitCode(), 0) << said;
    ASSERT_NE(said.find("[  PASSED  ] 1 test"), std::string::npos) << said;

    std::string log;
    for (const auto& e : fs::recursive_directory_iterator(programFolder.path() + "log"))
        if (e.is_regular_file()) {
            std::ifstream in(e.path());
            log.append(std::istreambuf_iterator<char>(in), {});
        }
    const auto count = [&log](const std::string& part) {
        std::size_t n = 0;
        for (auto at = log.find(part); at != std::string::npos; at = log.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("======= DLL Initial ========"), 1u) << log;
    EXPECT_EQ(count("Listen failed: "), 1u) << log;
    EXPECT_EQ(count("Listening on port "), 1u) << log;
}

// With the session's runtime folder, and without one (the lock then lives in
// the home's cache folder, never in a folder other users share). A GPS folder
// that others may write to is refused, and the station says so on standard
// error and goes on.
TEST(StationProcess, RunsOncePerUserAndLeavesNoStaleLock)
{
    // A program folder of its own: the three files are the whole program.
    TempFolder programFolder;
    for (const char* file : {"Tessaro", "libKavrel.so", "nopicture.mov"})
        std::filesystem::copy_file(platform::joinPath(platform::programFolder(), file),
                                   programFolder.path() + file);
    const std::string program = programFolder.path() + "Tessaro";
    TempFolder sharedFolder;
    std::filesystem::permissions(sharedFolder.path(), std::filesystem::perms::all);
    const std::string gpsFolder = std::filesystem::path(sharedFolder.path()).parent_path().string();

    for (const bool withRuntimeFolder : {true, false}) {
        SCOPED_TRACE(withRuntimeFolder ? "runtime folder" : "home only");
        TempFolder home;
        TempFolder runtimeFolder; // the user's session: where the lock lives
        std::filesystem::permissions(runtimeFolder.path(), std::filesystem::perms::owner_all);
        const std::uint16_t port = freePort();
        const std::vector<std::string> args{program, "--port", std::to_string(port)};
        const std::vector<std::string> env{
            "QT_QPA_PLATFORM=offscreen", "HOME=" + home.path(),
            "XDG_RUNTIME_DIR=" + (withRuntimeFolder ? runtimeFolder.path() : std::string()),
            "VGPS_DIR=" + gpsFolder};

        ChildProcess first(args, ChildProcess::Output::CaptureBoth, env);
        const std::string refusal =
            "Tessaro: GPS port refused: other users may write to the folder " + gpsFolder;
        std::optional<std::string> line;
        while ((line = first.readLine(kProcessBound)) && *line != refusal) {
        }
        EXPECT_TRUE(line) << "no word of the refused GPS folder";
        ASSERT_TRUE(waitUntilAccepting(port, kProcessBound)) << "the station never listened";

        ChildProcess second({program, "--port", std::to_string(freePort())},
                            ChildProcess::Output::CaptureBoth, env);
        std::string told;
        while (const auto said = second.readLine(kProcessBound))
            told += *said + "\n";
        ASSERT_TRUE(second.waitExit(kProcessBound)) << "a second station kept running";
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_NE(told.find("a station is already running for this user: pid " +
                            std::to_string(first.pid()) + "\n"),
                  std::string::npos)
            << told;
        EXPECT_TRUE(first.alive());
        EXPECT_TRUE(accepts(port));

        ::kill(first.pid(), SIGKILL);
        ASSERT_TRUE(first.waitExit(kProcessBound));
        ChildProcess third(args, ChildProcess::Output::Inherit, env);
        EXPECT_TRUE(waitUntilAccepting(port, kProcessBound)) << "a killed station left its lock";
        EXPECT_TRUE(third.alive());
        EXPECT_EQ(std::filesystem::is_empty(runtimeFolder.path()), !withRuntimeFolder);
        EXPECT_EQ(std::filesystem::exists(home.path() + ".cache"), !withRuntimeFolder);
    }

    // Without a display the program says what to do, not to reinstall it.
    TempFolder runtimeFolder;
    std::filesystem::permissions(runtimeFolder.path(), std::filesystem::perms::owner_all);
    const std::vector<std::string> args{program, "--port", std::to_string(freePort())};
    ChildProcess headless(args, ChildProcess::Output::CaptureBoth,
                          {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY=",
                           "XDG_RUNTIME_DIR=" + runtimeFolder.path()});
    std::string said;
    while (const auto line = headless.readLine(kProcessBound))
        said += *line + "\n";
    ASSERT_TRUE(headless.waitExit(kProcessBound));
    EXPECT_NE(headless.exitCode(), 0);
    EXPECT_NE(said.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << said;
    EXPECT_EQ(said.find("einstall"), std::string::npos) << said;
}

// Without a session's runtime folder and offscreen, as on a bare server, with
// no GPS port: nothing here is the operator's to mend, so standard error stays
// empty; a stop signal closes the window and the program ends with exit code 0.
TEST(StationProcess, StandardErrorHoldsOnlyTheStationsOwnLines)
{
    TempFolder programFolder;
    for (const char* file : {"Tessaro", "libKavrel.so", "nopicture.mov"})
        std::filesystem::copy_file(platform::joinPath(platform::programFolder(), file),
                                   programFolder.path() + file);
    struct Case
    {
        const char* legend;
        const char* option; // besides --port
        int signal;         // 0: the program ends by itself
    };
    const Case cases[] = {
        {"--help", "--help", 0},
        {"a start ended by SIGTERM", nullptr, SIGTERM},
        {"a start ended by Ctrl-C", nullptr, SIGINT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder home;
        TempFolder gpsFolder;
        const std::uint16_t port = freePort();
        std::vector<std::string> args{programFolder.path() + "Tessaro", "--port",
                                      std::to_string(port)};
        if (c.option)
            args.emplace_back(c.option);
        ChildProcess station(args, ChildProcess::Output::CaptureError,
                             {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.path(),
                              "XDG_RUNTIME_DIR=", "VGPS_DIR=" + gpsFolder.path()});
        if (c.signal != 0) {
            ASSERT_TRUE(waitUntilAccepting(port, kProcessBound)) << "the station never listened";
            ::kill(station.pid(), c.signal);
        }
        std::string said;
        while (const auto line = station.readLine(kProcessBound))
            said += *line + "\n";
        ASSERT_TRUE(station.waitExit(kProcessBound));
        EXPECT_EQ(station.exitCode(), 0);
        EXPECT_EQ(said, "");
    }
}

} // namespace

// The station's log lines, without their time stamps: kind and details.
// Each line must begin with the local time, "yyyy/mm/dd hh:mm:ss ".
std::vector<std::pair<std::string, std::string>> stationLogLines(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder + "log"))
        if (e.path().filename().string().ends_with(" Tessaro.log.txt"))
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end()); // a run across midnight has two
    std::vector<std::pair<std::string, std::string>> lines;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            constexpr std::size_t kStamp = 20; // "2026/12/08 14:30:05 "
            const bool stamped = line.size() > kStamp && line[4] == '/' && line[7] == '/' &&
                                 line[10] == ' ' && line[13] == ':' && line[16] == ':' &&
                                 line[19] == ' ';
            EXPECT_TRUE(stamped) << line;
            if (!stamped)
                continue;
            const std::string rest = line.substr(kStamp);
            const std::size_t gap = rest.find(' ');
            const std::size_t details = rest.find_first_not_of(' ', gap);
            lines.emplace_back(rest.substr(0, gap),
                               details == std::string::npos ? "" : rest.substr(details));
        }
    }
    return lines;
}

// A short day of the station, as its log tells it: the port is taken at the
// start and freed; a recorder whose name holds a Windows-1252 letter and a
// line feed logs in from its own
// address (the alarm goes off), the operator clears the alarm, an event time
// comes (it raises nothing), a position raises the alarm again; a peer that
// never sends its device record comes and goes unseen; the recorder leaves,
// the operator unticks "Alarm", the window closes. The log holds exactly
// these lines, in this order.
TEST(StationLog, TellsTheStationsDayInOrder)
{
    ProgramFolder folder;
    const std::uint16_t port = freePort();
    auto otherProgram = std::make_unique<platform::TcpListener>();
    otherProgram->listen(port, 1);
    StationOptions options = stationOptions(folder, port);
    options.listenRetry = 100ms;
    options.gpsPortPath = folder.path() + "VGPSIn"; // absent: the station works without it
    StationRig station(options);
    const LibraryStop stopLibrary;
    Station& s = *station.station;
    s.FormCreate();
    ASSERT_EQ(station.views.listenLines.size(), 1u);
    const std::string portFailure = station.views.listenLines[0].first;
    otherProgram.reset();
    s.retryListening();
    ASSERT_TRUE(s.Listening());

    const auto tickUntil = [&s](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            s.Timer1Timer();
            std::this_thread::sleep_for(5ms); // the library's threads report meanwhile
        }
        return done();
    };

    recorder::RecorderConnection stranger;
    stranger.setLocalAddress("127.0.0.2");
    ASSERT_TRUE(stranger.connect("127.0.0.1", port, 5s)) << stranger.lastError();
    stranger.close();

    recorder::DeviceInfo info = deviceInfo();
    info.fields[1] = "SN\xC3\xA9\nSTOP"; // an e acute (0xE9 on the wire) and a line of its own
    const std::string key = "SN\xC3\xA9%0ASTOP_ID7";
    recorder::RecorderConnection recorder;
    recorder.setLocalAddress("127.0.0.3");
    ASSERT_TRUE(recorder.connect("127.0.0.1", port, 5s)) << recorder.lastError();
    std::string text;
    recorder::appendDeviceInfoText(text, info);
    ASSERT_TRUE(
        recorder.sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), 10s).ok());
    ASSERT_TRUE(tickUntil([&] { return s.alarm().Blinking(); }));
    s.alarm().SpdBtnClearAlarmClick();
    ASSERT_TRUE(recorder
                    .sendPacket(kavrel::EventCode::CMD_QUVEX_TIME_EVENT,
                                recorder::textBytes("2026/12/08 14:30:05,1"), 10s)
                    .ok());
    ASSERT_TRUE(
        recorder
            .sendPacket(kavrel::EventCode::CMD_GPRMC_DATA, recorder::textBytes("$GPRMC,first"), 10s)
            .ok());
    ASSERT_TRUE(tickUntil([&] { return s.alarm().Blinking(); }));
    recorder.close();
    ASSERT_TRUE(tickUntil([&] { return s.registry().lists().count() == 0; }));
    s.alarm().ChckBxAlarmClick(false);
    s.FormClose();

    using Lines = std::vector<std::pair<std::string, std::string>>;
    const Lines expected{
        {"START", "Corvane V3.16.01 in " + folder.path() + ", port " + std::to_string(port)},
        {"PORT-FAIL", portFailure},
        {"PORT-OK", "Receiving on port " + std::to_string(port) + " now."},
        {"LOGIN", key + " from 127.0.0.3"},
        {"ALARM", "raised by the login of " + key},
        {"ALARM-OFF", "cleared by the operator"},
        {"ALARM", "raised by a position of " + key},
        {"LOGOUT", key + " from 127.0.0.3"},
        {"ALARM-OFF", "switched off by the operator (Alarm unticked)"},
        {"STOP", "orderly stop"},
    };
    EXPECT_EQ(stationLogLines(folder.path()), expected);
}
