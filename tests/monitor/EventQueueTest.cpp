// The ring on its own: where each event goes, when the ring is full, and that
// events come out oldest first across the wrap.
#include "EventQueue.h"

#include <gtest/gtest.h>
#include <vector>

using namespace monitor;

namespace {

// Writes an event tagged by its code into the slot at WriteIndex and publishes it.
bool put(EventQueue& ring, std::int32_t tag)
{
    ring.writeSlot().assign("key", tag, {});
    return ring.publish();
}

// Moves both indices to position, leaving the ring empty.
void rotateTo(EventQueue& ring, std::int32_t position)
{
    for (std::int32_t i = 0; i < position; ++i) {
        put(ring, -1);
        ring.dropOldest();
    }
}

std::vector<std::int32_t> drain(EventQueue& ring)
{
    std::vector<std::int32_t> tags;
    while (!ring.empty()) {
        tags.push_back(ring.oldest().Code);
        ring.dropOldest();
    }
    return tags;
}

std::vector<std::int32_t> iota(std::int32_t count)
{
    std::vector<std::int32_t> v;
    for (std::int32_t i = 0; i < count; ++i)
        v.push_back(i);
    return v;
}

struct RingCase
{
    const char* legend;
    std::int32_t start;    // ReadIndex = WriteIndex before the events
    std::int32_t events;   // events offered, tagged 0, 1, ...
    std::int32_t accepted; // how many of them are published
    std::int32_t writeIndex;
};

const RingCase kRingCases[] = {
    {"the first event goes into slot 0", 0, 1, 1, 1},
    {"from slot 0, 63 are published and the 64th finds the ring full", 0, 64, 63, 63},
    {"WriteIndex 63 is followed by 0", 1, 63, 63, 0},
    {"an event in slot 63 moves WriteIndex to 0", 63, 1, 1, 0},
    {"ReadIndex 5, WriteIndex 4 holds 63 and the next finds it full", 5, 64, 63, 4},
};

} // namespace

TEST(EventQueue, PublishesUpToSixtyThreeAndKeepsOrderAcrossTheWrap)
{
    for (const RingCase& c : kRingCases) {
        SCOPED_TRACE(c.legend);
        EventQueue ring;
        rotateTo(ring, c.start);
        std::int32_t accepted = 0;
        for (std::int32_t tag = 0; tag < c.events; ++tag)
            accepted += put(ring, tag) ? 1 : 0;
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(ring.readIndex(), c.start);
        EXPECT_EQ(ring.writeIndex(), c.writeIndex);
        EXPECT_EQ(ring.size(), c.accepted);
        EXPECT_EQ(ring.full(), c.accepted == EventQueue::Capacity);
        EXPECT_EQ(ring.slot(c.start).Code, 0) << "the first event sits at the old WriteIndex";
        EXPECT_EQ(drain(ring), iota(c.accepted));
        EXPECT_EQ(ring.readIndex(), c.writeIndex);
    }
}

TEST(EventQueue, TheSlotFreedByOneTakeIsUsedNext)
{
    EventQueue ring;
    for (std::int32_t tag = 0; tag < EventQueue::Capacity; ++tag)
        ASSERT_TRUE(put(ring, tag));
    ASSERT_FALSE(put(ring, 999)) << "the 64th is written into slot 63 but not published";
    EXPECT_EQ(ring.writeIndex(), 63);

    ASSERT_TRUE(ring.dropOldest());
    ASSERT_TRUE(put(ring, 63));
    EXPECT_EQ(ring.slot(63).Code, 63) << "published where the lost event lay";
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_TRUE(ring.full());
    EXPECT_FALSE(put(ring, 64));

    std::vector<std::int32_t> expected = iota(64);
    expected.erase(expected.begin());
    EXPECT_EQ(drain(ring), expected);
}

TEST(EventQueue, TakingFromAnEmptyRingChangesNothing)
{
    EventQueue ring;
    rotateTo(ring, 10);
    EXPECT_FALSE(ring.dropOldest());
    EXPECT_EQ(ring.readIndex(), 10);
    EXPECT_EQ(ring.writeIndex(), 10);
}
