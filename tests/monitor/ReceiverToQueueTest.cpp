// The real receiver library feeding the queue: recorders connect over
// loopback, the library reports through HostCallback, and a taker that keeps
// the ring full makes the library's workers wait for slots. Every packet the
// recorders had acknowledged must be in the queue, whole and in order.
#include "Archive.h"
#include "DeviceInfoText.h"
#include "DeviceLists.h"
#include "EventJournal.h"
#include "EventText.h"
#include "ProcessLimits.h"
#include "QueueTestSupport.h"
#include "RecorderConnection.h"
#include "StorageGuard.h"
#include "TcpSocket.h"
#include "TempFolder.h"
#include "kavrel.h"

#include <array>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace monitor;
using namespace monitor::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kRecorders = 2;
constexpr int kPositionsPerRecorder = 100;
constexpr std::size_t kLongClipSize = 300000;

std::uint16_t freePort()
{
    platform::TcpListener probe;
    probe.listen(0, 1);
    return probe.port();
}

recorder::DeviceInfo deviceInfo(int recorderIndex)
{
    recorder::DeviceInfo info;
    info.fields = {
        "QUVEX", "SN" + std::to_string(1000 + recorderIndex), "10.0.0.1", "Fleet", "Driver",
        "Depot", "ID" + std::to_string(recorderIndex)};
    return info;
}

std::string positionText(int recorderIndex, int n)
{
    return "$GPRMC," + std::to_string(recorderIndex) + "," + std::to_string(n);
}

Bytes clipOf(int recorderIndex, std::size_t size)
{
    Bytes clip(size);
    for (std::size_t i = 0; i < size; ++i)
        clip[i] =
            static_cast<std::uint8_t>(i * 13 + static_cast<std::size_t>(recorderIndex) + i / 4099);
    return clip;
}

// What one recorder sends, in order: its device information, positions, a
// long clip of channel 1 and a short one of all channels.
struct Sent
{
    std::int32_t code;
    Bytes payload;
};

std::vector<Sent> packetsOf(int recorderIndex)
{
    std::vector<Sent> packets;
    std::string info;
    recorder::appendDeviceInfoText(info, deviceInfo(recorderIndex));
    packets.push_back({Code::QUVEX_INFO, Bytes(info.begin(), info.end())});
    for (int n = 0; n < kPositionsPerRecorder; ++n) {
        const std::string text = positionText(recorderIndex, n);
        packets.push_back({Code::CMD_GPRMC_DATA, Bytes(text.begin(), text.end())});
    }
    packets.push_back({Code::CMD_MPEG4_I_CH1, clipOf(recorderIndex, kLongClipSize)});
    packets.push_back({Code::CMD_MPEG4_I_4in1, clipOf(recorderIndex, 5000)});
    return packets;
}

// Stops the library and closes the queue however the test ends, so that no
// worker stays in the callback and the recorder threads can be joined.
struct LibraryRun
{
    HostEventQueue& queue;
    ~LibraryRun()
    {
        queue.shutdown();
        GPRSRegisterCallbackInformation(nullptr);
        GPRSFree();
    }
};

} // namespace

TEST(ReceiverToQueue, EveryAcknowledgedPacketIsQueuedWholeAndInOrder)
{
    HostEventQueue queue;
    const std::uint16_t port = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, port), 0);
    ASSERT_EQ(GPRSRegisterCallbackInformation(HostCallback), 0);

    std::array<std::vector<Sent>, kRecorders> sent;
    std::array<std::vector<std::string>, kRecorders> failures;
    std::atomic<int> finished{0};
    std::vector<std::jthread> recorders;
    for (int r = 0; r < kRecorders; ++r) {
        sent[static_cast<std::size_t>(r)] = packetsOf(r);
        recorders.emplace_back([&, r] {
            auto& myFailures = failures[static_cast<std::size_t>(r)];
            recorder::RecorderConnection connection;
            if (!connection.connect("127.0.0.1", port)) {
                myFailures.push_back(connection.lastError());
            } else {
                for (const Sent& packet : sent[static_cast<std::size_t>(r)]) {
                    const recorder::PacketResult result = connection.sendPacket(
                        static_cast<std::uint16_t>(packet.code), packet.payload, 60s);
                    if (!result.ok()) {
                        myFailures.push_back(result.error);
                        break;
                    }
                }
                connection.close();
            }
            ++finished;
        });
    }
    const LibraryRun stopAtEnd{queue};

    std::map<std::string, std::vector<Taken>> packetsByKey;
    std::map<std::string, int> closedByKey;
    int takesWhileWorkersWaited = 0;
    const auto handle = [&](const RAWDATA& e) {
        if (e.Code == Code::CONNECTION_CLOSED)
            ++closedByKey[e.Key];
        else if (e.Code != Code::DATA_RECEIVED && e.Code != Code::CONNECTION_TIMED_OUT)
            packetsByKey[e.Key].push_back(
                {e.Key, e.Code, Bytes(e.bytes().begin(), e.bytes().end())});
    };
    // Takes only while the ring is full and a worker waits for a slot, until
    // the recorders are done; then takes everything up to both logouts.
    const bool done = eventually(
        [&] {
            const bool recordersDone = finished.load() == kRecorders;
            const auto held = queue.lock();
            if (!recordersDone) {
                if (queue.waitingProducers(held) > 0 && queue.ring(held).full())
                    takesWhileWorkersWaited += queue.takeOne(held, handle) ? 1 : 0;
                return false;
            }
            while (queue.takeOne(held, handle)) {
            }
            int closed = 0;
            for (const auto& [key, count] : closedByKey)
                closed += count;
            return closed >= kRecorders;
        },
        120s);

    for (int r = 0; r < kRecorders; ++r)
        EXPECT_TRUE(failures[static_cast<std::size_t>(r)].empty())
            << "recorder " << r << ": " << failures[static_cast<std::size_t>(r)].front();
    ASSERT_TRUE(done) << "the logouts never arrived";
    EXPECT_GT(takesWhileWorkersWaited, 0) << "the library's workers never waited for a slot";

    for (int r = 0; r < kRecorders; ++r) {
        SCOPED_TRACE("recorder " + std::to_string(r));
        const std::string key = recorder::deviceKey(deviceInfo(r));
        EXPECT_EQ(closedByKey[key], 1);
        const std::vector<Taken>& got = packetsByKey[key];
        const std::vector<Sent>& expected = sent[static_cast<std::size_t>(r)];
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            Bytes withZero = expected[i].payload;
            withZero.push_back(0); // the library appends one zero byte
            EXPECT_EQ(got[i].code, expected[i].code) << "packet " << i;
            EXPECT_TRUE(got[i].data == withZero)
                << "packet " << i << " damaged, " << got[i].data.size() << " bytes";
        }
    }
}

// With the journal on: the library's workers journal every position before it
// is acknowledged, while the taker archives and marks them. Half-way no file
// can be written (a file-size limit of 0, which stops root too): the workers
// are held, acknowledging nothing, until the limit is lifted; then everything
// acknowledged is archived and the journal is empty again.
TEST(ReceiverToQueue, HeldWhileNothingCanBeWrittenAndEveryAcknowledgedPositionArchived)
{
    constexpr int kPositions = 40;
    TempFolder folder;
    EventJournal journal(folder.path() + std::string(EventJournal::kFileName));
    std::vector<std::string> told;
    std::mutex toldLock; // guards told: the workers tell too
    StorageGuard guard(journal, platform::systemClock(), 20ms, [&](const std::string& line) {
        const std::lock_guard held(toldLock);
        told.push_back(line);
    });
    DeviceLists lists;
    Archive archive(folder.path(), platform::systemClock(), lists);
    HostEventQueue queue;
    queue.setStorageGuard(&guard);
    platform::ignoreFileSizeSignal();
    const std::uint16_t port = freePort();
    ASSERT_EQ(GPRSInitial(nullptr, port), 0);
    ASSERT_EQ(GPRSRegisterCallbackInformation(HostCallback), 0);

    std::array<std::atomic<int>, kRecorders> acknowledged{};
    std::vector<std::jthread> recorders;
    for (int r = 0; r < kRecorders; ++r)
        recorders.emplace_back([&, r] {
            recorder::RecorderConnection connection;
            if (!connection.connect("127.0.0.1", port))
                return;
            std::string info;
            recorder::appendDeviceInfoText(info, deviceInfo(r));
            if (!connection.sendPacket(Code::QUVEX_INFO, Bytes(info.begin(), info.end()), 60s).ok())
                return;
            for (int n = 0; n < kPositions; ++n) {
                const std::string text = positionText(r, n);
                if (!connection
                         .sendPacket(Code::CMD_GPRMC_DATA, Bytes(text.begin(), text.end()), 60s)
                         .ok())
                    return;
                ++acknowledged[static_cast<std::size_t>(r)];
            }
            connection.close();
        });
    const LibraryRun stopAtEnd{queue};
    const auto total = [&] { return acknowledged[0].load() + acknowledged[1].load(); };

    // The user-interface thread's part: take, archive, mark; try again.
    const auto dispatch = [&] {
        {
            const auto held = queue.lock();
            queue.takeOne(held, [&](const RAWDATA& e) {
                if (e.Code == Code::CMD_GPRMC_DATA)
                    guard.archived(e.JournalId,
                                   archive.StorePositionSentence(e.Key, EventText(e.bytes())));
            });
        }
        guard.retry(archive);
    };
    const auto setFileSizeLimit = [](rlim_t soft) {
        const rlimit limit{soft, RLIM_INFINITY};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    };
    ASSERT_TRUE(eventually(
        [&] {
            dispatch();
            return total() >= kPositions / 2;
        },
        60s));
    ASSERT_TRUE(setFileSizeLimit(0));
    const bool failing = eventually(
        [&] {
            dispatch();
            return guard.status().failing;
        },
        60s);
    // Held: nothing more is acknowledged while the guard tries again, over
    // many of its retries.
    const int heldAt = total();
    for (int i = 0; i < 20 && failing; ++i) {
        const auto until = std::chrono::steady_clock::now() + 20ms;
        eventually(
            [&] {
                dispatch();
                return std::chrono::steady_clock::now() > until;
            },
            1s);
    }
    const int afterRetries = total();
    ASSERT_TRUE(setFileSizeLimit(RLIM_INFINITY));
    ASSERT_TRUE(failing) << "no write failed";
    EXPECT_LE(afterRetries, heldAt + kRecorders) << "acknowledged while nothing could be written";

    ASSERT_TRUE(eventually(
        [&] {
            dispatch();
            return total() == kRecorders * kPositions && journal.unarchivedCount() == 0 &&
                   !guard.status().failing;
        },
        60s))
        << total() << " acknowledged, " << journal.unarchivedCount() << " not archived";
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder.path()))
        files += e.path().extension() == ".bin" ? 1 : 0;
    EXPECT_EQ(files, std::size_t{kRecorders * kPositions});
    EXPECT_EQ(journal.size(), 0u);
    const std::lock_guard held(toldLock);
    EXPECT_NE(std::find_if(told.begin(), told.end(),
                           [](const std::string& l) {
                               return l.find("File too large") != std::string::npos;
                           }),
              told.end());
}
