// Start-up with the real receiver library, and the program as a process.
//
// In this process the window starts the library on a free port: a recorder
// that calls in is acknowledged and its login waits in the event queue. As a
// process, the program copied into a folder of its own runs once per user:
// a second start ends at once with exit code 0, and a killed station leaves
// no lock behind.
#include "DeviceInfoText.h"
#include "HostEventQueue.h"
#include "LinkProtocol.h"
#include "MovieEngineSession.h"
#include "RecorderConnection.h"
#include "StationTestSupport.h"
#include "pmain.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace monitor;
using namespace stationtest;
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
    StationOptions options;
    options.port = freePort();
    options.programFolder = folder.path();
    options.screen = &screen;
    options.messageBoxes = &boxes;
    options.singleInstanceName = testInstanceName();
    TForm1 form(options);

    const std::vector<std::string> expected = {
        "ResetFloatingPoint", "SingleInstance",     "CreateQueueLock",     "LayOutSmallMovie",
        "SetProgramFolder",   "LoadIdleMovie",      "ResetSharedState",    "ClearTexts",
        "ResetAlarmAndCaptions", "ShowEnlargeGlyph", "ForgetNavigationWindow", "ScreenSaverOff",
        "BuildDayFolder",     "OpenGpsPort",        "FreeDeviceTable",     "CreateClipStream",
        "StartReceiver",      "StartDispatchTimer", "ResetGpsSending"};
    EXPECT_EQ(form.startupTrace(), expected);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(form.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());

    // A recorder logs in and is acknowledged; its login waits in the queue.
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", static_cast<std::uint16_t>(options.port), 5s))
        << recorder.lastError();
    std::string text;
    recorder::appendDeviceInfoText(text, deviceInfo());
    const auto result = recorder.sendPacket(kavrel::EventCode::QUVEX_INFO,
                                            recorder::textBytes(text), 10s);
    ASSERT_TRUE(result.ok()) << result.error;
    std::vector<std::pair<std::string, std::int32_t>> queued;
    const auto held = form.eventQueue()->lock();
    while (form.eventQueue()->takeOne(held, [&](const RAWDATA& event) {
        queued.emplace_back(event.Key, event.Code);
    })) {
    }
    EXPECT_NE(std::find(queued.begin(), queued.end(),
                        std::pair<std::string, std::int32_t>{"SN1001_ID7", kavrel::EventCode::QUVEX_INFO}),
              queued.end());
}

// A child process with a bounded wait; killed when still running at the end.
class Child
{
public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::vector<std::string>& extraEnvironment)
    {
        std::vector<std::string> env(extraEnvironment);
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
    }
    ~Child()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    // The exit status once the child has ended within the bound; none otherwise.
    std::optional<int> waitForExit(std::chrono::steady_clock::duration bound)
    {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!m_status && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            else
                std::this_thread::sleep_for(10ms);
        }
        return m_status;
    }
    bool running() { return !waitForExit(0ms); }
    void killHard()
    {
        ::kill(m_pid, SIGKILL);
        waitForExit(kProcessBound);
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

TEST(StationProcess, RunsOncePerUserAndLeavesNoStaleLock)
{
    // A program folder of its own: the three files are the whole program.
    TempFolder programFolder;
    TempFolder runtimeFolder; // the user's session: where the lock lives
    std::filesystem::permissions(runtimeFolder.path(), std::filesystem::perms::owner_all);
    for (const char* file : {"Tessaro", "libKavrel.so", "nopicture.mov"})
        std::filesystem::copy_file(platform::joinPath(platform::programFolder(), file),
                                   programFolder.path() + file);
    const std::string program = programFolder.path() + "Tessaro";
    const std::uint16_t port = freePort();
    const std::vector<std::string> args{"--port", std::to_string(port)};
    const std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen",
                                       "XDG_RUNTIME_DIR=" + runtimeFolder.path()};

    Child first(program, args, env);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(waitUntilAccepting(port, kProcessBound)) << "the station never listened";

    Child second(program, {"--port", std::to_string(freePort())}, env);
    const auto secondStatus = second.waitForExit(kProcessBound);
    ASSERT_TRUE(secondStatus.has_value()) << "a second station kept running";
    EXPECT_TRUE(WIFEXITED(*secondStatus));
    EXPECT_EQ(WEXITSTATUS(*secondStatus), 0);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(accepts(port));

    first.killHard();
    Child third(program, args, env);
    EXPECT_TRUE(waitUntilAccepting(port, kProcessBound)) << "a killed station left its lock";
    EXPECT_TRUE(third.running());
}

} // namespace
