// kavrel-listen's options, its event lines into a pipe, and its plain TCP sink
// taking a client's bytes over loopback, and the library serving fewer
// connections when the descriptor limit leaves too few.
#include "ChildProcess.h"
#include "FreePort.h"
#include "ListenOptions.h"
#include "RawSink.h"
#include "RecorderConnection.h"
#include "TempFolder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace listenhost;
using namespace std::chrono_literals;

TEST(ListenOptions, AcceptsAndRejects)
{
    struct Case
    {
        const char* legend;
        std::vector<std::string_view> args;
        ParsedListenOptions::Action action;
        std::uint16_t port;
        const char* mentions;
    };
    const Case cases[] = {
        {"defaults", {}, ParsedListenOptions::Action::Run, 9600, ""},
        {"port as two words", {"--port", "9700"}, ParsedListenOptions::Action::Run, 9700, ""},
        {"port with =", {"--port=1"}, ParsedListenOptions::Action::Run, 1, ""},
        {"sink on a free port",
         {"--raw-sink", "--port", "0"},
         ParsedListenOptions::Action::Run,
         0,
         ""},
        {"library on port 0", {"--port", "0"}, ParsedListenOptions::Action::Error, 0, "--raw-sink"},
        {"port too large",
         {"--port", "70000"},
         ParsedListenOptions::Action::Error,
         0,
         "0 to 65535"},
        {"port missing", {"--port"}, ParsedListenOptions::Action::Error, 0, "needs a value"},
        {"switch given a value",
         {"--quiet=yes"},
         ParsedListenOptions::Action::Error,
         0,
         "--quiet takes no value"},
        {"unknown option", {"--verbose"}, ParsedListenOptions::Action::Error, 0, "--verbose"},
        {"a bad value is reported before a later --help",
         {"--port", "x", "--help"},
         ParsedListenOptions::Action::Error,
         0,
         "\"x\""},
        {"help", {"--help"}, ParsedListenOptions::Action::Help, 9600, ""},
    };
    for (const auto& c : cases) {
        const auto parsed = parseListenOptions(c.args);
        EXPECT_EQ(parsed.action, c.action) << c.legend;
        if (c.action == ParsedListenOptions::Action::Run) {
            EXPECT_EQ(parsed.options.port, c.port) << c.legend;
        }
        EXPECT_NE(parsed.error.find(c.mentions), std::string::npos)
            << c.legend << ": " << parsed.error;
    }
}

TEST(RawSink, TakesEveryByteAndAnswersNothing)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        RawSink sink(out);
        std::string error;
        ASSERT_TRUE(sink.listen(0, error)) << error;
        std::jthread server([&sink] { sink.run(); });

        const std::vector<std::uint8_t> bytes(300000, 0x42);
        for (int i = 0; i < 2; ++i) {
            recorder::RecorderConnection c;
            ASSERT_TRUE(c.connect("127.0.0.1", sink.port(), 5000ms)) << c.lastError();
            ASSERT_TRUE(c.sendRaw(bytes)) << c.lastError();
            ASSERT_TRUE(c.shutdownSend());
            recorder::Bytes received;
            EXPECT_EQ(c.waitForClose(5000ms, &received),
                      recorder::RecorderConnection::CloseWait::Closed);
            EXPECT_TRUE(received.empty());
        }
        sink.stop();
        server.join();
        EXPECT_EQ(sink.totalBytes(), 600000u);
        EXPECT_EQ(sink.connectionsEnded(), 2u);
    }
    std::rewind(out);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_NE(std::string(line).find("300000 bytes"), std::string::npos) << line;
    std::fclose(out);
}

TEST(RawSink, StopEndsConnectionsThatStayOpen)
{
    RawSink sink(stdout);
    std::string error;
    ASSERT_TRUE(sink.listen(0, error)) << error;
    std::jthread server([&sink] { sink.run(); });
    recorder::RecorderConnection idle;
    ASSERT_TRUE(idle.connect("127.0.0.1", sink.port(), 5000ms)) << idle.lastError();
    ASSERT_TRUE(idle.sendRaw(std::vector<std::uint8_t>(10, 1)));
    sink.stop();
    server.join(); // returns although the client never closed
    EXPECT_EQ(idle.waitForClose(5000ms), recorder::RecorderConnection::CloseWait::Closed);
}

#ifdef KAVREL_LISTEN_PATH
TEST(KavrelListen, EventLinesLeaveAsTheyHappenIntoAPipe)
{
    const std::uint16_t port = testsupport::freePort();
    testsupport::ChildProcess listen({KAVREL_LISTEN_PATH, "--port", std::to_string(port)},
                                     testsupport::ChildProcess::Output::CaptureBoth);
    const auto waitForLine = [&](std::string_view text) {
        while (const auto line = listen.readLine(10s))
            if (line->find(text) != std::string::npos)
                return true;
        return false;
    };
    ASSERT_TRUE(waitForLine("receiving on port"));
    recorder::RecorderConnection c;
    ASSERT_TRUE(c.connect("127.0.0.1", port, 5000ms)) << c.lastError();
    ASSERT_TRUE(c.sendPacket(2, recorder::textBytes("$GPRMC,pipe")).ok());
    EXPECT_TRUE(waitForLine("$GPRMC,pipe")) << "the line is written while the program runs";
    listen.stop();
    EXPECT_EQ(listen.exitCode(), 0) << "Ctrl-C or SIGTERM ends it in order";
}

// Under a hard limit of 100 descriptors, the default MAX_CONNECTIONS (1000)
// and the 64 kept for files do not fit: the library serves 36 connections
// and says so in its log.
TEST(KavrelListen, ServesFewerConnectionsThanTheDescriptorLimitLeaves)
{
    TempFolder folder;
    const std::string program = folder.path() + "kavrel-listen";
    std::filesystem::copy_file(KAVREL_LISTEN_PATH, program);
    // The log file is kept only while SAVE_DATA is 1.
    std::ofstream(folder.path() + "quvex.ini") << "[Option]\r\nWANT_LOG=1\r\nSAVE_DATA=1\r\n";
    const std::uint16_t port = testsupport::freePort();
    testsupport::ChildProcess listen({testsupport::findTool("prlimit", "util-linux"),
                                      "--nofile=100:100", program, "--port", std::to_string(port)},
                                     testsupport::ChildProcess::Output::CaptureBoth);
    bool listening = false;
    while (const auto line = listen.readLine(10s))
        if ((listening = line->find("receiving on port") != std::string::npos))
            break;
    ASSERT_TRUE(listening);
    std::string log;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder.path() + "log"))
        if (e.is_regular_file()) {
            std::ifstream in(e.path());
            log.append(std::istreambuf_iterator<char>(in), {});
        }
    EXPECT_NE(log.find("exceeds the limit of 100 open descriptors; serving at most 36 connections"),
              std::string::npos)
        << log;
}
#endif
