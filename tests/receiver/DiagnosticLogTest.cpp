// The log file's place and name, whole lines under concurrent writers, and silence.
#include "DiagnosticLog.h"

#include "TempFolder.h"

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

using namespace kavrel;
namespace fs = std::filesystem;

namespace {

const platform::LocalTime kDec6{2026, 12, 6, 9, 5, 7, 0};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(DiagnosticLog, FolderAndFileNameForTheStartDate)
{
    TempFolder host;
    const std::string path = DiagnosticLog::setUpLogFile(host.path(), kDec6, true);
    EXPECT_EQ(path, host.path() + "log/2026 12/06 Kavrel.log.txt");
    EXPECT_TRUE(fs::is_directory(host.path() + "log/2026 12"));

    const platform::LocalTime jan1{2027, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(DiagnosticLog::logFilePathFor("/x/", jan1), "/x/log/2027 01/01 Kavrel.log.txt");
}

TEST(DiagnosticLog, NoFolderAndNoPathWithoutSaveData)
{
    TempFolder host;
    EXPECT_EQ(DiagnosticLog::setUpLogFile(host.path(), kDec6, false), "");
    EXPECT_FALSE(fs::exists(host.path() + "log"));
}

TEST(DiagnosticLog, LinesCarryTheTimeAndEndInCrLf)
{
    TempFolder host;
    std::atomic<bool> stopping{false};
    DiagnosticLog log(stopping, [] { return kDec6; });
    log.configure(true, DiagnosticLog::setUpLogFile(host.path(), kDec6, true));
    std::vector<std::string> window;
    log.setWindowSink([&](const std::string& line) { window.push_back(line); });

    log.LogLine("Accept");
    log.LogLine("ThreadEnd...\r\n");

    EXPECT_EQ(readFile(log.logFilePath()), "09:05:07 Accept\r\n09:05:07 ThreadEnd...\r\n\r\n");
    EXPECT_EQ(window, (std::vector<std::string>{"09:05:07 Accept", "09:05:07 ThreadEnd...\r\n"}));
}

TEST(DiagnosticLog, NothingWrittenWhenSettingsSayNoOrWhenStopping)
{
    TempFolder host;
    const std::string path = DiagnosticLog::setUpLogFile(host.path(), kDec6, true);
    std::atomic<bool> stopping{false};
    {
        DiagnosticLog log(stopping, [] { return kDec6; });
        log.configure(false, path); // WANT_LOG 0
        log.LogLine("quiet");
        EXPECT_FALSE(fs::exists(path));
    }
    {
        DiagnosticLog log(stopping, [] { return kDec6; });
        log.configure(true, ""); // SAVE_DATA 0: no path
        log.LogLine("quiet");
        EXPECT_FALSE(fs::exists(path));
    }
    {
        DiagnosticLog log(stopping, [] { return kDec6; });
        log.configure(true, path);
        int windowLines = 0;
        log.setWindowSink([&](const std::string&) { ++windowLines; });
        stopping = true;
        log.LogLine("after stop");
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(windowLines, 0);
    }
}

TEST(DiagnosticLog, ConcurrentWritersLeaveWholeLines)
{
    TempFolder host;
    std::atomic<bool> stopping{false};
    DiagnosticLog log(stopping, [] { return kDec6; });
    log.configure(true, DiagnosticLog::setUpLogFile(host.path(), kDec6, true));

    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    const std::string body(300, 'x');
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t)
            writers.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i)
                    log.LogLine("w" + std::to_string(t) + " " + std::to_string(i) + " " + body);
            });
    }
    std::istringstream in(readFile(log.logFilePath()));
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "09:05:07 w%d %d ", &t, &i), 2) << line;
        ASSERT_EQ(i, next[static_cast<std::size_t>(t)]++) << "each writer's lines stay in order";
        ASSERT_NE(line.find(body + "\r"), std::string::npos);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST(DiagnosticLog, NoLineOnceStoppedNotEvenOneBeingFormatted)
{
    TempFolder host;
    std::atomic<bool> stopping{false};
    std::mutex mutex; // guards the two flags
    std::condition_variable changed;
    bool inClock = false;
    bool resume = false;
    // The clock holds the writer between its first look at Stopping and its write.
    DiagnosticLog log(stopping, [&] {
        std::unique_lock lock(mutex);
        inClock = true;
        changed.notify_all();
        changed.wait(lock, [&] { return resume; });
        return kDec6;
    });
    log.configure(true, DiagnosticLog::setUpLogFile(host.path(), kDec6, true));
    std::atomic<int> windowLines{0};
    log.setWindowSink([&](const std::string&) { ++windowLines; });

    std::jthread writer([&] { log.LogLine("late"); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inClock; });
    }
    log.stop();
    EXPECT_TRUE(stopping.load());
    {
        std::lock_guard lock(mutex);
        resume = true;
        changed.notify_all();
    }
    writer.join();
    EXPECT_EQ(windowLines.load(), 0);
    EXPECT_FALSE(fs::exists(log.logFilePath()));
}
