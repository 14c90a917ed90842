// The library as a host sees it: only its three exports, and their start and stop rules.
#include "ChildProcess.h"
#include "FreePort.h"
#include "HostEvents.h"
#include "RecorderConnection.h"
#include "TcpSocket.h"
#include "kavrel.h"
#include "kavrel_events.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

using namespace std::chrono_literals;

namespace {

std::set<std::string> exportedSymbols()
{
    std::set<std::string> symbols;
    const std::string command = std::string("nm -D --defined-only ") + KAVREL_LIBRARY_PATH;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char type = 0;
        char name[400] = {};
        unsigned long long address = 0;
        if (std::sscanf(line, "%llx %c %399s", &address, &type, name) == 3 &&
            (type == 'T' || type == 'D' || type == 'B' || type == 'W'))
            symbols.insert(name);
    }
    ::pclose(pipe);
    return symbols;
}

using testsupport::freePort;

bool accepts(std::uint16_t port)
{
    recorder::RecorderConnection c;
    if (!c.connect("127.0.0.1", port, 2s))
        return false;
    return c.sendPacket(2, recorder::textBytes("$GPRMC,probe")).ok();
}

class Exports : public ::testing::Test
{
protected:
    void SetUp() override { HostEvents::instance().reset(); }
    void TearDown() override
    {
        HostEvents::instance().release();
        GPRSFree();
        HostEvents::instance().reset();
    }
};

} // namespace

TEST(ExportedSymbols, OnlyTheThreeExportsLeaveTheLibrary)
{
    EXPECT_EQ(exportedSymbols(), (std::set<std::string>{"GPRSFree", "GPRSInitial",
                                                        "GPRSRegisterCallbackInformation"}));
}

TEST_F(Exports, StopWithoutStartAndTwiceIsHarmless)
{
    EXPECT_EQ(GPRSFree(), 0);
    EXPECT_EQ(GPRSFree(), 0);
    EXPECT_EQ(GPRSRegisterCallbackInformation(HostEvents::callback), 0);
}

TEST_F(Exports, SecondStartKeepsTheFirstPort)
{
    const std::uint16_t first = freePort();
    const std::uint16_t second = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, first), 0);
    EXPECT_EQ(GPRSInitial(nullptr, second), 0);
    EXPECT_TRUE(accepts(first));
    if (second != first) {
        EXPECT_FALSE(accepts(second));
    }
}

// A port that another program holds: the start fails with the system's
// reason, and every later start says it again until the port is free, and then
// listens; once listening, a start changes nothing.
TEST_F(Exports, AStartOnATakenPortSaysWhyAndCanBeTriedAgain)
{
    const std::uint16_t port = freePort();
    auto other = std::make_unique<platform::TcpListener>();
    other->listen(port, 1);
    EXPECT_EQ(GPRSInitial(nullptr, port), EADDRINUSE);
    EXPECT_EQ(GPRSInitial(nullptr, port), EADDRINUSE) << "a repeated start must not say 0";
    EXPECT_EQ(GPRSInitial(nullptr, -5), KAVREL_LISTEN_FAILED);
    other.reset();
    ASSERT_EQ(GPRSInitial(nullptr, port), 0);
    EXPECT_EQ(GPRSInitial(nullptr, port), 0);
    GPRSRegisterCallbackInformation(HostEvents::callback);
    EXPECT_TRUE(accepts(port));
}

TEST_F(Exports, StartStopStartOnANewPort)
{
    const std::uint16_t first = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, first), 0);
    EXPECT_TRUE(accepts(first));
    EXPECT_EQ(GPRSFree(), 0);
    EXPECT_FALSE(accepts(first));
    const std::uint16_t second = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, second), 0);
    GPRSRegisterCallbackInformation(HostEvents::callback);
    EXPECT_TRUE(accepts(second));
    EXPECT_TRUE(HostEvents::instance().waitForCode(kavrel::EventCode::CMD_GPRMC_DATA));
}

TEST_F(Exports, StopWithOpenConnectionsAndABlockedCallback)
{
    const std::uint16_t port = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, port), 0);
    GPRSRegisterCallbackInformation(HostEvents::callback);
    recorder::RecorderConnection idle;
    recorder::RecorderConnection busy;
    ASSERT_TRUE(idle.connect("127.0.0.1", port));
    ASSERT_TRUE(busy.connect("127.0.0.1", port));
    ASSERT_TRUE(HostEvents::instance().waitForCode(kavrel::EventCode::CONNECTION_OPENED, 2));
    HostEvents::instance().holdCode(kavrel::EventCode::CMD_GPRMC_DATA);
    ASSERT_TRUE(busy.sendPacketOnly(2, recorder::textBytes("$GPRMC,held")));
    ASSERT_TRUE(HostEvents::instance().waitHeld(10s));

    EXPECT_EQ(GPRSFree(), 0); // returns although a worker waits in the callback
    EXPECT_EQ(idle.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    EXPECT_EQ(busy.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    HostEvents::instance().release();
    EXPECT_TRUE(HostEvents::instance().waitForCode(kavrel::EventCode::CONNECTION_CLOSED, 2));
}

TEST(ProcessExit, AHostThatNeverStopsTheLibraryExitsPromptlyWithNoLateCallback)
{
    struct Case
    {
        const char* legend;
        const char* how;
    };
    const Case cases[] = {
        {"main returns while a recorder is connected and packets are queued", "return"},
        {"exit is called while a recorder is connected and packets are queued", "exit"},
    };
    for (const auto& c : cases) {
        testsupport::ChildProcess host({KAVREL_EXIT_HOST, c.how},
                                       testsupport::ChildProcess::Output::CaptureBoth);
        std::string output;
        while (const auto line = host.readLine(20s)) // to the end of its output, when it has ended
            output += *line + "\n";
        ASSERT_TRUE(host.waitExit(5s)) << c.legend << "\n" << output;
        EXPECT_EQ(host.exitCode(), 0) << c.legend << "\n" << output;
        EXPECT_NE(output.find("ending\n"), std::string::npos) << c.legend << "\n" << output;
        EXPECT_NE(output.find("exit began\n"), std::string::npos) << c.legend;
        EXPECT_EQ(output.find("callback after exit began"), std::string::npos) << c.legend << "\n"
                                                                               << output;
    }
}
