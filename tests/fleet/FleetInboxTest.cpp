// The subscriber's inbox: what does not fit its count or byte bound is
// dropped and counted, never waited for, and taking everything frees the room.
#include "FleetInbox.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

fleet::FleetMessage message(std::size_t bytes)
{
    fleet::FleetMessage m;
    m.payload.assign(bytes, 'x');
    return m;
}

TEST(FleetInbox, DropsAndCountsWhatDoesNotFit)
{
    struct Case
    {
        const char* legend;
        std::size_t maxMessages;
        std::size_t maxBytes;
        std::vector<std::size_t> pushed; // payload sizes, in order
        std::size_t kept;
        std::uint64_t dropped;
    };
    const Case cases[] = {
        {"within both bounds", 4, 100, {10, 20, 30}, 3, 0},
        {"the count bound", 2, 100, {1, 1, 1, 1}, 2, 2},
        {"the byte bound, exactly reached", 10, 30, {10, 20, 1}, 2, 1},
        {"a later smaller one still fits", 10, 30, {25, 10, 5}, 2, 1},
        {"one larger than the bound, even into an empty inbox", 10, 30, {31, 30}, 1, 1},
        {"cleared states (no payload) count against the number", 1, 30, {0, 0}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        fleet::FleetInbox inbox(c.maxMessages, c.maxBytes);
        for (std::size_t size : c.pushed)
            inbox.push(message(size));
        EXPECT_EQ(inbox.dropped(), c.dropped);
        EXPECT_EQ(inbox.takeAll().size(), c.kept);
        // Taken out, the room is there again.
        EXPECT_TRUE(inbox.push(message(std::min(c.maxBytes, std::size_t{1}))));
        EXPECT_EQ(inbox.takeAll().size(), 1u);
    }
}

} // namespace
