// What logins and the ends of connections make of a recorder's state in the
// fleet: connection numbers that only grow, and an offline that never hides
// a newer login of the same recorder on this gateway.
#include "RecorderPresence.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using gateway::RecorderPresence;

struct Step
{
    bool login; // else the connection ends
    std::string key;
    std::uint64_t connection;
    std::uint64_t clock; // the gateway's clock in microseconds, for a login
    // What is published: none, or the state's online flag and connection number.
    std::optional<std::pair<bool, std::uint64_t>> published;
};

TEST(RecorderPresenceTest, ConnectionNumbersGrowAndOnlyTheNewestConnectionTakesARecorderOffline)
{
    struct Case
    {
        const char* legend;
        std::vector<Step> steps;
        std::size_t online; // recorders held at the end
    };
    const Case cases[] = {
        {"a login and its end share the number",
         {{true, "A", 1, 1000, {{true, 1000}}}, {false, "A", 1, 0, {{false, 1000}}}},
         0},
        {"two logins in one microsecond get different numbers",
         {{true, "A", 1, 1000, {{true, 1000}}}, {true, "B", 2, 1000, {{true, 1001}}}},
         2},
        {"a clock set back never reuses a number",
         {{true, "A", 1, 5000, {{true, 5000}}}, {true, "B", 2, 10, {{true, 5001}}}},
         2},
        {"the old connection of a recorder that called again ends: it stays online",
         {{true, "A", 1, 1000, {{true, 1000}}},
          {true, "A", 2, 2000, {{true, 2000}}},
          {false, "A", 1, 0, std::nullopt},
          {false, "A", 2, 0, {{false, 2000}}}},
         0},
        {"an end of a connection never seen (closed twice, timed out after closing)",
         {{true, "A", 1, 1000, {{true, 1000}}},
          {false, "A", 1, 0, {{false, 1000}}},
          {false, "A", 1, 0, std::nullopt},
          {false, "B", 7, 0, std::nullopt}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        RecorderPresence presence("gw");
        for (const Step& step : c.steps) {
            std::optional<fleet::RecorderState> state;
            if (step.login)
                state = presence.login(step.key, step.connection,
                                       "QUVEX,SN,10.0.0.1,Dept,User,Depot,ID", step.clock,
                                       "2026/12/09 10:00:00");
            else
                state = presence.leave(step.key, step.connection);
            ASSERT_EQ(state.has_value(), step.published.has_value());
            if (!state)
                continue;
            EXPECT_EQ(state->online, step.published->first);
            EXPECT_EQ(state->connection, step.published->second);
            EXPECT_EQ(state->gateway, "gw");
            EXPECT_EQ(state->device[5], "Depot");
            EXPECT_EQ(state->address, "10.0.0.1");
        }
        EXPECT_EQ(presence.online(), c.online);
    }
}

} // namespace
