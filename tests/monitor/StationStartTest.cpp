// Start-up with the real receiver library, and the program as a process.
//
// In this process the window starts the library on a free port: a recorder
// that calls in is acknowledged and its login waits in the event queue. As a
// process, the program copied into a folder of its own runs once per user:
// a second start ends at once with exit code 0, and a killed station leaves
// no lock behind.
#include "ArchiveNames.h"
#include "ArchiveRetention.h"
#include "ChildProcess.h"
#include "DeviceInfoText.h"
#include "HostEventQueue.h"
#include "MovieEngineSession.h"
#include "RecorderConnection.h"
#include "TcpSocket.h"
#include "WindowTestSupport.h"
#include "kavrel.h"
#include "kavrel_events.h"
#include "pmain.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

using namespace monitor;
using namespace stationtest;
using testsupport::ChildProcess;
using namespace std::chrono_literals;

namespace {

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

TEST(StationStart, StepsInOrderAndARecorderIsServed)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    TForm1 form(options);

    const std::vector<std::string> expected = {
        "ResetFloatingPoint",    "SingleInstance",   "CreateQueueLock",        "LayOutSmallMovie",
        "SetProgramFolder",      "LoadIdleMovie",    "ResetSharedState",       "ClearTexts",
        "ResetAlarmAndCaptions", "ShowEnlargeGlyph", "ForgetNavigationWindow", "ScreenSaverOff",
        "BuildDayFolder",        "OpenGpsPort",      "FreeDeviceTable",        "CreateClipStream",
        "RecoverJournal",        "StartReceiver",    "StartDispatchTimer",     "ResetGpsSending"};
    EXPECT_EQ(form.startupTrace(), expected);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());

    // A recorder logs in and is acknowledged; its login waits in the queue.
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", static_cast<std::uint16_t>(options.port), 5s))
        << recorder.lastError();
    std::string text;
    recorder::appendDeviceInfoText(text, deviceInfo());
    const auto result =
        recorder.sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), 10s);
    ASSERT_TRUE(result.ok()) << result.error;
    std::vector<std::pair<std::string, std::int32_t>> queued;
    const auto held = form.eventQueue()->lock();
    while (form.eventQueue()->takeOne(
        held, [&](const RAWDATA& event) { queued.emplace_back(event.Key, event.Code); })) {
    }
    EXPECT_NE(std::find(queued.begin(), queued.end(),
                        std::pair<std::string, std::int32_t>{"SN1001_ID7",
                                                             kavrel::EventCode::QUVEX_INFO}),
              queued.end());
}

// Another program holds the port: the station says so, with the port and the
// system's reason, in a message box and in the window, works on, and listens
// as soon as the port is free.
TEST(StationStart, ATakenPortIsToldAndTriedAgainUntilItIsFree)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    const std::uint16_t port = freePort();
    auto otherProgram = std::make_unique<platform::TcpListener>();
    otherProgram->listen(port, 1);
    WindowOptions options = windowOptions(folder, screen, boxes, port);
    options.listenRetry = 100ms;
    TForm1 form(options);
    struct StopLibrary
    {
        ~StopLibrary() { GPRSFree(); }
    } const stopLibrary;

    EXPECT_FALSE(form.Listening());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const QString told = boxes.boxes[0].text;
    EXPECT_TRUE(told.contains(QString::number(port))) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromLocal8Bit(std::strerror(EADDRINUSE))))
        << told.toStdString();
    const auto* line = form.findChild<QLabel*>(QStringLiteral("LblListen"));
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isHidden());
    EXPECT_EQ(line->text(), told);
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive())
        << "the station works on";

    otherProgram.reset();
    const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
    while (!form.Listening() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(form.Listening());
    EXPECT_TRUE(line->text().contains(QStringLiteral("Receiving on port")))
        << line->text().toStdString();
    EXPECT_TRUE(accepts(port));
    EXPECT_EQ(boxes.boxes.size(), 1u) << "told once, not at every try";
}

TEST(StationStart, AFailingStepIsToldAndEndsStartUpThere)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.startReceiver = [](void*, std::int32_t) { throw std::runtime_error("no receiver"); };
    TForm1 form(options);

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

TEST(StationStart, TheWindowTellsWhileTheArchiveCannotBeWritten)
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
        std::filesystem::path(dayFolderPath(folder.path(), platform::localNow())) / "SN1001_ID7";
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

// tessaro.ini beside the program sets the archive's limits. At start the only
// past day is older than KEEP_DAYS, so age deletion waits: the window says so
// with the bad value that took its default, and shows "Confirm date"; pressed,
// the day goes and the window tells it. A later pass (the interval made short)
// finds a day that appeared already past the limit, which only a wrong clock
// files, and keeps it. Foreign folders and today's stay.
TEST(StationStart, TheSettingsFileLimitsTheArchiveAndTheWindowTellsEachDeletion)
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
    EXPECT_TRUE(line->toolTip().startsWith(
        QStringLiteral("tessaro.ini line 3: MIN_FREE_GIB must be a number of GiB")))
        << line->toolTip().toStdString();
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
    EXPECT_TRUE(fs::is_directory(dayFolderPath(folder.path(), platform::localNow())));
    EXPECT_TRUE(boxes.boxes.empty());
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

} // namespace
