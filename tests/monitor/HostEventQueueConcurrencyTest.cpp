// The queue under its producers: packets and logouts wait for a free slot and
// for room in the data budget, are served in arrival order and all arrive,
// each connection's in order, while notices are dropped; a copy that cannot be
// allocated waits too; closing and destroying the queue release a waiting producer.
#include "FailingAllocation.h"
#include "QueueTestSupport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

using namespace monitor;
using namespace monitor::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kProducers = 8;
constexpr int kPacketsPerProducer = 250;

constexpr std::array<std::int32_t, 8> kPacketCodes = {
    Code::QUVEX_INFO,       Code::CMD_GPRMC_DATA,  Code::CMD_QUVEX_TIME_EVENT,
    Code::CMD_MPEG4_I_4in1, Code::CMD_MPEG4_I_CH1, Code::CMD_MPEG4_I_CH2,
    Code::CMD_MPEG4_I_CH3,  Code::CMD_MPEG4_I_CH4,
};

// Packet `index` of producer `producer`: producer, index (two bytes, low
// first), bytes derived from both, and the library's zero byte. Every 40th is
// longer than a slot's data area.
Bytes packetOf(int producer, int index)
{
    const std::size_t size = index % 40 == 0
                                 ? RAWDATA::DataAreaSize + 5000 + static_cast<std::size_t>(index)
                                 : 16 + static_cast<std::size_t>(index % 100);
    Bytes b(size);
    b[0] = static_cast<std::uint8_t>(producer);
    b[1] = static_cast<std::uint8_t>(index & 0xFF);
    b[2] = static_cast<std::uint8_t>(index >> 8);
    for (std::size_t i = 3; i + 1 < size; ++i)
        b[i] = static_cast<std::uint8_t>(producer * 31 + index * 7 + static_cast<int>(i));
    b.back() = 0;
    return b;
}

// Closes the queue when a test ends, also early on a failed assertion, so
// that a producer still waiting in it returns and its thread can be joined.
// Declared after the producers' threads, so it runs before they are joined.
struct ShutdownOnExit
{
    HostEventQueue* queue;
    ~ShutdownOnExit()
    {
        if (queue != nullptr)
            queue->shutdown();
    }
};

// One report made on a thread of its own, as a library worker makes it.
class Reporter
{
public:
    Reporter(std::string key, std::int32_t code, Bytes data)
        : m_thread([this, key = std::move(key), code, data = std::move(data)] {
              report(key, code, data);
              m_returned.set_value();
          })
    {
    }

    bool returned() const { return m_done.wait_for(0s) == std::future_status::ready; }
    bool waitReturned() const { return m_done.wait_for(60s) == std::future_status::ready; }

private:
    std::promise<void> m_returned;
    std::future<void> m_done = m_returned.get_future();
    std::jthread m_thread; // last: joined before the promise goes
};

} // namespace

TEST(HostEventQueueConcurrency, PacketsWaitForRoomInTheBudgetAndAreServedInArrivalOrder)
{
    constexpr std::size_t kBudget = 100000;
    struct Arrival
    {
        const char* key;
        std::size_t bytes;
        bool waits; // finds no room, or others waiting before it
    };
    struct BudgetCase
    {
        const char* legend;
        bool fullRing; // 63 notices queued before the arrivals
        std::vector<Arrival> arrivals;
    };
    const BudgetCase cases[] = {
        {"a clip over the budget waits for the queued one; a short packet waits behind it",
         false,
         {{"A", 60000, false}, {"B", 60000, true}, {"C", 2, true}}},
        {"a clip larger than the whole budget passes an empty queue and holds the next back",
         false,
         {{"A", 250000, false}, {"B", 2, true}}},
        {"packets that find the ring full are published in arrival order",
         true,
         {{"A", 2, true}, {"B", 2, true}, {"C", 2, true}, {"D", 2, true}}},
    };
    for (const BudgetCase& c : cases) {
        SCOPED_TRACE(c.legend);
        HostEventQueue queue(kBudget);
        if (c.fullRing)
            fillRing(queue);
        std::vector<std::unique_ptr<Reporter>> reporters;
        const ShutdownOnExit closeAtEnd{&queue};
        int waiting = 0;
        std::vector<std::string> expected;
        for (const Arrival& a : c.arrivals) {
            reporters.push_back(
                std::make_unique<Reporter>(a.key, Code::CMD_MPEG4_I_CH1, Bytes(a.bytes, 0x5A)));
            expected.push_back(a.key);
            if (a.waits) {
                ++waiting;
                ASSERT_TRUE(eventually([&] { return waitingProducers(queue) == waiting; }))
                    << a.key << " should wait";
            } else {
                ASSERT_TRUE(reporters.back()->waitReturned()) << a.key << " should pass";
            }
        }

        std::vector<std::string> taken;
        const bool drained = eventually([&] {
            const bool allReturned = std::all_of(reporters.begin(), reporters.end(),
                                                 [](const auto& r) { return r->returned(); });
            Taken one;
            if (takeOne(queue, one)) {
                if (one.key != "filler")
                    taken.push_back(one.key);
                return false;
            }
            return allReturned;
        });
        ASSERT_TRUE(drained);
        EXPECT_EQ(taken, expected);

        // Taken events give their memory back.
        const auto held = queue.lock();
        EXPECT_EQ(queue.queuedBytes(held), 0u);
        for (std::int32_t i = 0; i < EventQueue::SlotCount; ++i)
            EXPECT_EQ(queue.ring(held).slot(i).Data.capacity(), RAWDATA::DataAreaSize)
                << "slot " << i;
    }
}

// The library acknowledges a packet once the callback returns, so a packet
// whose copy cannot be made must not return before it is queued.
TEST(HostEventQueueConcurrency, APacketWhoseCopyCannotBeAllocatedWaitsUntilItCanBe)
{
    constexpr std::size_t kClipSize = std::size_t{2} << 20;
    Bytes clip(kClipSize, 0x42);
    clip.back() = 0;
    const Bytes sent = clip;
    HostEventQueue queue;
    std::optional<Reporter> producer;
    const ShutdownOnExit closeAtEnd{&queue};
    {
        const testsupport::FailLargeAllocations outOfMemory(kClipSize);
        producer.emplace("QV1_7", Code::CMD_MPEG4_I_CH1, std::move(clip));
        ASSERT_TRUE(eventually([&] { return waitingProducers(queue) == 1; }));
        EXPECT_GT(testsupport::FailLargeAllocations::refused(), 0u);
        EXPECT_FALSE(producer->returned());
    } // memory again
    ASSERT_TRUE(producer->waitReturned());
    const std::vector<Taken> taken = takeAll(queue);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(taken[0].data == sent);
}

TEST(HostEventQueueConcurrency, EveryPacketOfEightProducersArrivesInOrderAgainstASlowTaker)
{
    HostEventQueue queue;
    std::atomic<int> finished{0};
    std::vector<std::jthread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&finished, p] {
            const std::string key = "QV1_" + std::to_string(p);
            for (int i = 0; i < kPacketsPerProducer; ++i) {
                reportNotice(key, Code::DATA_RECEIVED);
                report(key, kPacketCodes[static_cast<std::size_t>(i) % kPacketCodes.size()],
                       packetOf(p, i));
            }
            ++finished;
        });
    }
    const ShutdownOnExit closeAtEnd{&queue};

    std::array<int, kProducers> nextIndex{};
    int packets = 0;
    int notices = 0;
    int takesWhileProducersWaited = 0;
    const auto handle = [&](const RAWDATA& e) {
        if (e.Code == Code::DATA_RECEIVED) {
            ++notices;
            return;
        }
        ASSERT_GE(e.Length, 4);
        const auto bytes = e.bytes();
        const int producer = bytes[0];
        const int index = bytes[1] | (bytes[2] << 8);
        ASSERT_LT(producer, kProducers);
        EXPECT_EQ(e.Key, "QV1_" + std::to_string(producer));
        EXPECT_EQ(index, nextIndex[static_cast<std::size_t>(producer)])
            << "producer " << producer << " out of order";
        EXPECT_EQ(e.Code, kPacketCodes[static_cast<std::size_t>(index) % kPacketCodes.size()]);
        const Bytes expected = packetOf(producer, index);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin(), expected.end()))
            << "packet " << index << " of producer " << producer << " damaged";
        nextIndex[static_cast<std::size_t>(producer)] = index + 1;
        ++packets;
    };

    // The taker takes only once the ring is full and a producer waits for a
    // slot, so that the ring stays full for as long as anyone reports; once all
    // have finished it drains the ring.
    const bool drained = eventually(
        [&] {
            const bool allFinished = finished.load() == kProducers;
            const auto held = queue.lock();
            if (queue.waitingProducers(held) > 0) {
                if (queue.ring(held).full())
                    takesWhileProducersWaited += queue.takeOne(held, handle) ? 1 : 0;
                return false;
            }
            return allFinished && !queue.takeOne(held, handle);
        },
        300s);

    ASSERT_TRUE(drained);
    EXPECT_EQ(packets, kProducers * kPacketsPerProducer);
    for (int p = 0; p < kProducers; ++p)
        EXPECT_EQ(nextIndex[static_cast<std::size_t>(p)], kPacketsPerProducer) << "producer " << p;
    EXPECT_GT(takesWhileProducersWaited, 0);
    EXPECT_LT(notices, kProducers * kPacketsPerProducer) << "notices are dropped while full";
}

TEST(HostEventQueueConcurrency, PacketsAndLogoutsWaitForTheSlotThatATakeFrees)
{
    struct WaitCase
    {
        const char* legend;
        std::int32_t code;
    };
    const WaitCase cases[] = {
        {"device information", Code::QUVEX_INFO},
        {"position sentence", Code::CMD_GPRMC_DATA},
        {"event time", Code::CMD_QUVEX_TIME_EVENT},
        {"clip of all channels", Code::CMD_MPEG4_I_4in1},
        {"clip of channel 1", Code::CMD_MPEG4_I_CH1},
        {"clip of channel 2", Code::CMD_MPEG4_I_CH2},
        {"clip of channel 3", Code::CMD_MPEG4_I_CH3},
        {"clip of channel 4", Code::CMD_MPEG4_I_CH4},
        {"connection closed", Code::CONNECTION_CLOSED},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.legend);
        HostEventQueue queue;
        fillRing(queue);
        std::promise<void> returned;
        std::future<void> done = returned.get_future();
        std::jthread producer([&returned, code = c.code] {
            report("QV1_7", code, Bytes{'x', 0});
            returned.set_value();
        });
        const ShutdownOnExit closeAtEnd{&queue};

        ASSERT_TRUE(eventually([&] { return waitingProducers(queue) == 1; }));
        EXPECT_TRUE(queue.queueFull());
        EXPECT_EQ(done.wait_for(0s), std::future_status::timeout);
        {
            const auto held = queue.lock();
            ASSERT_TRUE(queue.takeOne(held, [](const RAWDATA&) {}));
            EXPECT_FALSE(queue.queueFull());
            // A notice that comes while the packet still waits for the lock
            // must not take the slot freed for it.
            reportNotice("other", Code::DATA_RECEIVED);
            EXPECT_EQ(queue.ring(held).size(), EventQueue::Capacity - 1);
        }
        ASSERT_EQ(done.wait_for(60s), std::future_status::ready);

        const auto held = queue.lock();
        const EventQueue& ring = queue.ring(held);
        EXPECT_TRUE(ring.full());
        EXPECT_EQ(queue.waitingProducers(held), 0);
        EXPECT_FALSE(queue.queueBusy(held));
        const RAWDATA& last = ring.slot(63);
        EXPECT_EQ(last.Key, "QV1_7");
        EXPECT_EQ(last.Code, c.code);
        EXPECT_EQ(last.Length, 2);
    }
}

TEST(HostEventQueueConcurrency, ClosingReleasesAWaitingProducerAndDropsItsEvent)
{
    HostEventQueue queue;
    fillRing(queue);
    std::promise<void> returned;
    std::future<void> done = returned.get_future();
    std::jthread producer([&returned] {
        report("QV1_7", Code::CMD_MPEG4_I_CH1, Bytes(60000, 0x42));
        returned.set_value();
    });
    const ShutdownOnExit closeAtEnd{&queue};

    ASSERT_TRUE(eventually([&] { return waitingProducers(queue) == 1; }));
    queue.shutdown();
    ASSERT_EQ(done.wait_for(60s), std::future_status::ready);

    const auto held = queue.lock();
    EXPECT_EQ(queue.waitingProducers(held), 0);
    EXPECT_EQ(queue.ring(held).size(), EventQueue::Capacity);
    EXPECT_EQ(queue.ring(held).slot(63).Length, 0) << "nothing written after closing";
}

TEST(HostEventQueueConcurrency, DestroyingTheQueueWaitsForTheProducerItReleases)
{
    auto queue = std::make_unique<HostEventQueue>();
    fillRing(*queue);
    std::promise<void> returned;
    std::future<void> done = returned.get_future();
    std::jthread producer([&returned] {
        report("QV1_7", Code::CONNECTION_CLOSED, Bytes(kTimeText.begin(), kTimeText.end()));
        returned.set_value();
    });
    struct CloseAtEnd
    {
        std::unique_ptr<HostEventQueue>& queue;
        ~CloseAtEnd()
        {
            if (queue)
                queue->shutdown();
        }
    } const closeAtEnd{queue};

    ASSERT_TRUE(eventually([&] { return waitingProducers(*queue) == 1; }));
    queue.reset(); // returns once the producer has left the queue
    ASSERT_EQ(done.wait_for(60s), std::future_status::ready);
    report("QV1_7", Code::CMD_GPRMC_DATA, Bytes{'$', 0}); // no queue any more: ignored
}
