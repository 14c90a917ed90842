// The retention pass on its own thread: it runs each time it is asked, at the
// time it is asked with, tells what it deleted through its report (on its
// thread), and its destructor stops and joins it.
#include "RetentionWorker.h"

#include "TempFolder.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

using namespace monitor;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr auto kBound = 10s;

void makeDay(const std::string& root, const std::string& day)
{
    fs::create_directories(root + day + "/AB12_3");
    std::ofstream(root + day + "/AB12_3/120000.bin") << "$GPRMC\r\n";
}

} // namespace

TEST(RetentionWorker, PassesWhenAskedAndStopsWhenDestroyed)
{
    TempFolder folder;
    makeDay(folder.path(), "2026/11/01");
    makeDay(folder.path(), "2026/11/30");
    makeDay(folder.path(), "2026/12/05");
    makeDay(folder.path(), "2026/12/06");
    // Two days apart by both clocks: 2026/11/30 is 6 days old at the first
    // pass, 8 at the second.
    constexpr std::uint32_t kTwoDays = 2 * 24 * 60 * 60 * 1000;
    const ClockReading before{{2026, 12, 6, 9, 30, 0, 0}, 1000};
    const ClockReading morning{{2026, 12, 8, 9, 30, 0, 0}, 1000 + kTwoDays};

    std::mutex lock; // guards reported
    std::condition_variable changed;
    std::vector<std::string> reported;
    const auto waitFor = [&](std::size_t lines) {
        std::unique_lock held(lock);
        return changed.wait_for(held, kBound, [&] { return reported.size() >= lines; });
    };
    std::vector<std::string> told; // the worker's thread only, read after the join
    {
        RetentionWorker worker(
            std::make_unique<ArchiveRetention>(folder.path(), RetentionLimits{7, 0}),
            [&](std::vector<std::string> lines) {
                const std::lock_guard held(lock);
                reported.insert(reported.end(), lines.begin(), lines.end());
                changed.notify_all();
            },
            [&](const std::string& line) { told.push_back(line); });
        worker.requestPass(before);
        ASSERT_TRUE(waitFor(1));
        EXPECT_FALSE(worker.ageHeld());
        worker.requestPass(morning); // 2026/11/30 is now 8 days old: this pass takes it
        ASSERT_TRUE(waitFor(2));
        // Asked while a pass may still run: one more pass at least, told nothing.
        worker.requestPass({{2026, 12, 8, 9, 31, 0, 0}, 1000 + kTwoDays + 60000});
    }
    const std::vector<std::string> expected = {
        "09:30:00 Archive: deleted the day 2026/11/01 (older than 7 days)",
        "09:30:00 Archive: deleted the day 2026/11/30 (older than 7 days)"};
    EXPECT_EQ(reported, expected);
    // told and reported come from the same passes; the last one found nothing.
    EXPECT_EQ(told, expected);
    EXPECT_TRUE(fs::exists(folder.path() + "2026/12/05/AB12_3/120000.bin"));
    EXPECT_TRUE(fs::exists(folder.path() + "2026/12/06/AB12_3/120000.bin"));
}
