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

// Once it listens again, the notice stays until the timer's next tick, a
// notice time later, or until data comes, whichever is first; then the band
// is left to "Receiving......" (an empty text).
TEST(ListenRetry, TellsOnceRetriesEachTickAndTellsTheEnd)
{
    const std::string taken = std::strerror(EADDRINUSE);
    constexpr auto kNotice = 3s;
    enum class NoticeEnds
    {
        NoNotice,
        AtTick,
        AtData
    };
    const struct
    {
        const char* legend;
        std::vector<std::int32_t> answers; // of each start, in turn
        std::chrono::milliseconds interval;
        NoticeEnds ends;
        Shown shown;
    } cases[] = {
        {"listens at once: nothing to tell", {0}, 5s, NoticeEnds::NoNotice, {}},
        {"taken twice, then free: told once, then that it listens, for a notice time",
         {EADDRINUSE, EADDRINUSE, 0},
         5s,
         NoticeEnds::AtTick,
         {{notReceiving(taken, "5"), false}, {"Receiving on port 9600 now.", true}, {"", true}}},
        {"no system reason, a retry under a second said as 1 s; data ends the notice",
         {-1, 0},
         100ms,
         NoticeEnds::AtData,
         {{notReceiving("the receiver could not start", "1"), false},
          {"Receiving on port 9600 now.", true},
          {"", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        testsupport::ManualTimer timer;
        std::size_t starts = 0;
        Shown shown;
        ListenRetry retry(
            [&] { return starts < c.answers.size() ? c.answers[starts++] : 0; }, timer, 9600,
            c.interval, kNotice,
            [&](const std::string& text, bool listening) { shown.emplace_back(text, listening); });
        EXPECT_EQ(timer.interval(), c.interval);
        EXPECT_EQ(retry.start(), c.answers.size() == 1);
        for (int tick = 0; tick < 5 && !retry.listening(); ++tick) {
            EXPECT_TRUE(timer.enabled()) << "tick " << tick;
            EXPECT_EQ(timer.interval(), c.interval);
            retry.tick();
        }
        ASSERT_TRUE(retry.listening());
        EXPECT_EQ(starts, c.answers.size());
        if (c.ends != NoticeEnds::NoNotice) {
            EXPECT_TRUE(timer.enabled()) << "the notice's time runs";
            EXPECT_EQ(timer.interval(), kNotice);
            EXPECT_EQ(shown.back(), std::pair(std::string("Receiving on port 9600 now."), true));
            if (c.ends == NoticeEnds::AtTick)
                retry.tick();
            else
                retry.dataArrived();
        }
        EXPECT_FALSE(timer.enabled());
        retry.tick();
        retry.dataArrived();
        EXPECT_EQ(starts, c.answers.size()) << "no start once it listens";
        EXPECT_EQ(shown, c.shown);
    }
}

} // namespace
