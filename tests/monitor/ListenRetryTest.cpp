// The receiver's start and its retries while the port cannot be used, with a
// start that answers as told and a timer the test ticks.
#include "ListenRetry.h"

#include "ManualTimer.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using namespace monitor;
using namespace std::chrono_literals;

namespace {

using Shown = std::vector<std::pair<std::string, bool>>;

std::string notReceiving(const std::string& why, const char* every)
{
    return "Not receiving: port 9600 cannot be used (" + why + "). Trying again every " + every +
           " s.";
}

TEST(ListenRetry, TellsOnceRetriesEachTickAndTellsTheEnd)
{
    const std::string taken = std::strerror(EADDRINUSE);
    const struct
    {
        const char* legend;
        std::vector<std::int32_t> answers; // of each start, in turn
        std::chrono::milliseconds interval;
        Shown shown;
    } cases[] = {
        {"listens at once: nothing to tell", {0}, 5s, {}},
        {"taken twice, then free: told once, then that it listens",
         {EADDRINUSE, EADDRINUSE, 0},
         5s,
         {{notReceiving(taken, "5"), false}, {"Receiving on port 9600 now.", true}}},
        {"no system reason, and a retry under a second said as 1 s",
         {-1, 0},
         100ms,
         {{notReceiving("the receiver could not start", "1"), false},
          {"Receiving on port 9600 now.", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        testsupport::ManualTimer timer;
        std::size_t starts = 0;
        Shown shown;
        ListenRetry retry(
            [&] { return starts < c.answers.size() ? c.answers[starts++] : 0; }, timer, 9600,
            c.interval,
            [&](const std::string& text, bool listening) { shown.emplace_back(text, listening); });
        EXPECT_EQ(timer.interval(), c.interval);
        EXPECT_EQ(retry.start(), c.answers.size() == 1);
        for (int tick = 0; tick < 5; ++tick) {
            EXPECT_EQ(timer.enabled(), !retry.listening()) << "tick " << tick;
            retry.tick();
        }
        EXPECT_TRUE(retry.listening());
        EXPECT_FALSE(timer.enabled());
        EXPECT_EQ(starts, c.answers.size()) << "no start once it listens";
        EXPECT_EQ(shown, c.shown);
    }
}

} // namespace
