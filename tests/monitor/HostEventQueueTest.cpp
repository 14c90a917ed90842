// The queue as the receiver library's callback fills it and the dispatcher
// empties it, on one thread: which codes are queued, the full ring for events
// that may be lost, the copy of the library's data, and the one queue HostCallback feeds.
#include "QueueTestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace monitor;
using namespace monitor::testing;

namespace {

struct CodeCase
{
    const char* legend;
    std::int32_t code;
    bool queued;
};

const CodeCase kCodeCases[] = {
    {"device information (login)", Code::QUVEX_INFO, true},
    {"position sentence", Code::CMD_GPRMC_DATA, true},
    {"event time", Code::CMD_QUVEX_TIME_EVENT, true},
    {"clip of all channels", Code::CMD_MPEG4_I_4in1, true},
    {"clip of channel 1", Code::CMD_MPEG4_I_CH1, true},
    {"clip of channel 4", Code::CMD_MPEG4_I_CH4, true},
    {"connection closed", Code::CONNECTION_CLOSED, true},
    {"connection timed out", Code::CONNECTION_TIMED_OUT, true},
    {"data received", Code::DATA_RECEIVED, true},
    {"connection opened is not queued", Code::CONNECTION_OPENED, false},
    {"unknown command 1", 1, false},
    {"unknown command just below the clips", 239, false},
    {"unknown command between the clip codes", 256, false},
    {"unknown command just above the clips", 261, false},
    {"unknown code above the connection events", 0xF004, false},
    {"negative code", -1, false},
};

struct Snapshot
{
    std::int32_t readIndex;
    std::int32_t writeIndex;
    bool full;
    bool busy;
    std::string writeSlotKey;
    std::int32_t writeSlotCode;
    std::int32_t writeSlotLength;
    std::uint8_t writeSlotFirstByte;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(HostEventQueue& queue)
{
    const auto held = queue.lock();
    const EventQueue& ring = queue.ring(held);
    const RAWDATA& slot = ring.slot(ring.writeIndex());
    return {ring.readIndex(), ring.writeIndex(), queue.queueFull(), queue.queueBusy(held),
            slot.Key,         slot.Code,         slot.Length,       slot.Data[0]};
}

} // namespace

TEST(HostEventQueue, QueuesTheListedCodesAndIgnoresTheRest)
{
    const Bytes payload = {'$', 'G', 'P', 0};
    for (const CodeCase& c : kCodeCases) {
        SCOPED_TRACE(c.legend);
        HostEventQueue queue;
        report("QV1_0042", c.code, payload);
        const std::vector<Taken> taken = takeAll(queue);
        if (c.queued) {
            ASSERT_EQ(taken.size(), 1u);
            EXPECT_EQ(taken[0].key, "QV1_0042");
            EXPECT_EQ(taken[0].code, c.code);
            EXPECT_EQ(taken[0].data, payload);
        } else {
            EXPECT_TRUE(taken.empty());
        }
    }
}

TEST(HostEventQueue, CodesNotQueuedChangeNothingEvenOnAFullRing)
{
    HostEventQueue queue;
    reportNotice("a", Code::DATA_RECEIVED);
    const Snapshot partly = snapshot(queue);
    for (const CodeCase& c : kCodeCases) {
        if (!c.queued) {
            SCOPED_TRACE(c.legend);
            report("ignored", c.code, Bytes(100, 0x77));
            EXPECT_EQ(snapshot(queue), partly);
        }
    }

    // On a full ring an ignored code must not set QueueFull: only an event that
    // finds the ring full does.
    fillRing(queue);
    const Snapshot full = snapshot(queue);
    ASSERT_FALSE(full.full);
    report("ignored", Code::CONNECTION_OPENED, Bytes(100, 0x77));
    EXPECT_EQ(snapshot(queue), full);
}

TEST(HostEventQueue, NoticesAreLostWhileTheRingIsFullAndQueuedAgainOnceOneIsTaken)
{
    HostEventQueue queue;
    for (int i = 0; i < EventQueue::Capacity; ++i)
        report("n", Code::DATA_RECEIVED, Bytes{static_cast<std::uint8_t>(i)});
    EXPECT_FALSE(queue.queueFull()) << "63 published, none lost yet";

    report("n", Code::DATA_RECEIVED, Bytes{200}); // finds the ring full: lost
    EXPECT_TRUE(queue.queueFull());
    report("n", Code::CONNECTION_TIMED_OUT, Bytes{201}); // dropped at entry
    const Snapshot full = snapshot(queue);
    EXPECT_EQ(full.writeIndex, 63);

    Taken first;
    ASSERT_TRUE(takeOne(queue, first));
    EXPECT_EQ(first.data, Bytes{0});
    EXPECT_FALSE(queue.queueFull()) << "taking an event clears QueueFull";

    report("n", Code::DATA_RECEIVED, Bytes{202});
    {
        const auto held = queue.lock();
        const EventQueue& ring = queue.ring(held);
        EXPECT_EQ(ring.slot(63).bytes()[0], 202)
            << "published where the lost event would have gone";
        EXPECT_EQ(ring.writeIndex(), 0);
        EXPECT_TRUE(ring.full());
    }

    std::vector<Bytes> rest;
    for (const Taken& t : takeAll(queue))
        rest.push_back(t.data);
    ASSERT_EQ(rest.size(), 63u);
    EXPECT_EQ(rest.front(), Bytes{1});
    EXPECT_EQ(rest[61], Bytes{62});
    EXPECT_EQ(rest.back(), Bytes{202}) << "the lost events never show up";
}

TEST(HostEventQueue, KeepsItsOwnCopyOfEveryByteOfALongClip)
{
    HostEventQueue queue;
    constexpr std::size_t clipSize = 300000;
    Bytes clip(clipSize);
    for (std::size_t i = 0; i < clip.size(); ++i)
        clip[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    clip.back() = 0; // the zero byte the library appends
    const Bytes sent = clip;
    report("QV1_0042", Code::CMD_MPEG4_I_CH2, clip);
    std::fill(clip.begin(), clip.end(), 0xEE); // the library reuses its buffer
    reportNotice("QV1_0042", Code::DATA_RECEIVED);

    const std::vector<Taken> taken = takeAll(queue);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].code, Code::CMD_MPEG4_I_CH2);
    EXPECT_EQ(taken[0].data.size(), clipSize);
    EXPECT_TRUE(taken[0].data == sent) << "the clip must arrive whole and unchanged";
    EXPECT_EQ(taken[1].data, Bytes(kTimeText.begin(), kTimeText.end()));
}

TEST(HostEventQueue, TakesNoDataFromWhereNoneWasGiven)
{
    struct InputCase
    {
        const char* legend;
        const char* text;
        const void* data;
        std::int32_t length;
        std::string key;
    };
    const std::uint8_t bytes[4] = {1, 2, 3, 0};
    const InputCase cases[] = {
        {"a null data address with a length", "k", nullptr, 5, "k"},
        {"a negative length", "k", bytes, -4, "k"},
        {"a null text", nullptr, bytes, 0, ""},
    };
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.legend);
        HostEventQueue queue;
        HostCallback(c.text, Code::CMD_GPRMC_DATA, c.data, c.length);
        const std::vector<Taken> taken = takeAll(queue);
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken[0].key, c.key);
        EXPECT_TRUE(taken[0].data.empty());
    }
}

TEST(HostEventQueue, AnEventWhoseHandlingFailsIsStillTaken)
{
    HostEventQueue queue;
    reportNotice("a", Code::CONNECTION_CLOSED);
    reportNotice("b", Code::CONNECTION_CLOSED);
    {
        const auto held = queue.lock();
        EXPECT_THROW(queue.takeOne(held, [](const RAWDATA&) { throw std::runtime_error("x"); }),
                     std::runtime_error);
    }
    const std::vector<Taken> rest = takeAll(queue);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].key, "b");
}

// The dispatcher lets window messages through while it handles an event; a
// tick that comes in among them must not be handed the same event again.
TEST(HostEventQueue, ATakeWithinATakesHandlerTakesNothing)
{
    HostEventQueue queue;
    reportNotice("a", Code::CONNECTION_CLOSED);
    reportNotice("b", Code::CONNECTION_CLOSED);
    std::vector<std::string> handled;
    bool nestedTook = true;
    {
        const auto held = queue.lock();
        EXPECT_TRUE(queue.takeOne(held, [&](const RAWDATA& e) {
            handled.push_back(e.Key);
            const auto again = queue.lock();
            nestedTook =
                queue.takeOne(again, [&](const RAWDATA& inner) { handled.push_back(inner.Key); });
        }));
    }
    EXPECT_FALSE(nestedTook);
    EXPECT_EQ(handled, std::vector<std::string>{"a"});
    const std::vector<Taken> rest = takeAll(queue);
    ASSERT_EQ(rest.size(), 1u) << "the next event is neither lost nor doubled";
    EXPECT_EQ(rest[0].key, "b");
}

// The dispatcher's thread holds QueueLock for a whole tick. Should an event
// reach HostCallback on that very thread while the ring is full, waiting for a
// slot would wait for itself: the event is dropped instead.
TEST(HostEventQueue, ThePacketOfTheThreadHoldingTheLockDoesNotWaitForItself)
{
    HostEventQueue queue;
    fillRing(queue);
    const Snapshot full = snapshot(queue);
    {
        const auto held = queue.lock();
        report("QV1_0042", Code::CMD_GPRMC_DATA, Bytes{'$', 0});
        EXPECT_EQ(queue.waitingProducers(held), 0);
    }
    EXPECT_TRUE(queue.queueFull());
    Snapshot after = snapshot(queue);
    after.full = false;
    EXPECT_EQ(after, full);
}

TEST(HostEventQueue, DropsEveryEventOnceClosingWithoutWaiting)
{
    HostEventQueue queue;
    fillRing(queue);
    queue.shutdown();
    EXPECT_TRUE(queue.closing());
    const Snapshot full = snapshot(queue);
    for (const CodeCase& c : kCodeCases)
        report("late", c.code, Bytes{1, 0}); // packets among them: none may wait
    EXPECT_EQ(snapshot(queue), full);

    Taken first;
    ASSERT_TRUE(takeOne(queue, first)) << "what is queued can still be taken";
    report("late", Code::CMD_GPRMC_DATA, Bytes{1, 0});
    const auto held = queue.lock();
    EXPECT_EQ(queue.ring(held).size(), EventQueue::Capacity - 1);
}

TEST(HostEventQueue, HostCallbackFillsTheOneQueueThatExists)
{
    report("nobody", Code::CMD_GPRMC_DATA, Bytes{1, 0}); // no queue: ignored

    auto first = std::make_unique<HostEventQueue>();
    EXPECT_THROW(HostEventQueue second, std::logic_error);
    reportNotice("first", Code::DATA_RECEIVED);
    EXPECT_EQ(takeAll(*first).size(), 1u);
    reportNotice("first", Code::DATA_RECEIVED);
    first.reset();

    HostEventQueue fresh;
    const Snapshot start = snapshot(fresh);
    EXPECT_EQ(start, (Snapshot{0, 0, false, false, "", 0, 0, 0}));
    reportNotice("fresh", Code::DATA_RECEIVED);
    const std::vector<Taken> taken = takeAll(fresh);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].key, "fresh");
}
