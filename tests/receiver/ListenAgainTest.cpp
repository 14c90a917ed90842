// The library object on a port another program holds, tried again and again
// until the port is free: only the listening is tried again, and its log (the
// file WANT_LOG and SAVE_DATA keep) tells the start, the failure and the end
// of it once each.
#include "FreePort.h"
#include "HostEvents.h"
#include "MainForm.h"
#include "RecorderConnection.h"
#include "TcpSocket.h"
#include "TempFolder.h"
#include "kavrel_events.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>

using namespace std::chrono_literals;

namespace {

std::string readLogFiles(const std::string& hostFolder)
{
    std::string log;
    for (const auto& e : std::filesystem::recursive_directory_iterator(hostFolder + "log"))
        if (e.is_regular_file()) {
            std::ifstream in(e.path());
            log.append(std::istreambuf_iterator<char>(in), {});
        }
    return log;
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(ListenAgain, RetriesListenOnlyAndLogsTheFailureAndTheRecoveryOnce)
{
    HostEvents::instance().reset();
    TempFolder host;
    std::ofstream(host.path() + "quvex.ini") << "[Option]\r\nWANT_LOG=1\r\nSAVE_DATA=1\r\n";
    const std::uint16_t port = testsupport::freePort();
    auto otherProgram = std::make_unique<platform::TcpListener>();
    otherProgram->listen(port, 1);

    kavrel::TfrmMain::Options options;
    options.hostFolder = host.path();
    auto frm = std::make_unique<kavrel::TfrmMain>(nullptr, options);
    EXPECT_EQ(frm->start(port), EADDRINUSE);
    EXPECT_TRUE(frm->listenPending());
    // Settings that would silence the log: a retry does not read them.
    std::ofstream(host.path() + "quvex.ini") << "[Option]\r\nWANT_LOG=0\r\nSAVE_DATA=0\r\n";
    for (int retry = 0; retry < 3; ++retry)
        EXPECT_EQ(frm->listen(port), EADDRINUSE) << "retry " << retry;
    EXPECT_FALSE(frm->listener().active());

    otherProgram.reset();
    ASSERT_EQ(frm->listen(port), 0);
    EXPECT_FALSE(frm->listenPending());
    frm->setCallback(HostEvents::callback);
    recorder::RecorderConnection recorder;
    ASSERT_TRUE(recorder.connect("127.0.0.1", port, 5s)) << recorder.lastError();
    ASSERT_TRUE(recorder.sendPacket(2, recorder::textBytes("$GPRMC,after")).ok());
    EXPECT_TRUE(HostEvents::instance().waitForCode(kavrel::EventCode::CMD_GPRMC_DATA));
    frm->stop();
    frm.reset();
    HostEvents::instance().reset();

    const std::string log = readLogFiles(host.path());
    EXPECT_EQ(countOf(log, "======= DLL Initial ========"), 1u) << log;
    EXPECT_EQ(countOf(log, "Listen failed: "), 1u) << log;
    EXPECT_EQ(countOf(log, "Listen failed: listen on port " + std::to_string(port)), 1u) << log;
    EXPECT_EQ(countOf(log, "Listening on port " + std::to_string(port)), 1u) << log;
}

} // namespace
