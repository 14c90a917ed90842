// Peers that are no recorder, or careless ones, over loopback against the real
// library: forged connection events, packets that would take more memory than
// the budget, slow headers and payloads, many connections from one address,
// and keys that try to write lines of their own into the log.
#include "PacketBytes.h"
#include "PacketFramer.h"
#include "ReceiverFixture.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>
#include <unistd.h>

using namespace kavrel;
using recorder::Bytes;
using recorder::textBytes;
using namespace std::chrono_literals;
using CloseWait = recorder::RecorderConnection::CloseWait;

namespace {

std::vector<std::int32_t> codesOf(const std::vector<HostEvent>& events)
{
    std::vector<std::int32_t> codes;
    for (const auto& e : events)
        codes.push_back(e.code);
    return codes;
}

// Sends bytes one at a time, pausing between them, until they are all sent or
// the station closes the connection. True when it closed.
// Polls a condition of the receiver's state until it holds or 10 s pass.
bool waitUntil(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

Bytes patternBytes(std::size_t count)
{
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(i * 7);
    return out;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The process's resident memory in bytes; 0 when the system does not say.
std::uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

bool dripUntilClosed(recorder::RecorderConnection& c, std::span<const std::uint8_t> bytes,
                     std::size_t piece, std::chrono::milliseconds gap)
{
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        if (!c.sendRaw(bytes.subspan(at, std::min(piece, bytes.size() - at))))
            return true;
        // Not after the last piece: the wait would take the acknowledgement.
        if (at + piece < bytes.size() && c.waitForClose(gap) == CloseWait::Closed)
            return true;
    }
    return false;
}

} // namespace

TEST_F(ReceiverFixture, PacketsWithConnectionEventCodesAreAcknowledgedButNeverReportedAsThem)
{
    startReceiver();
    auto c = connect();
    ASSERT_TRUE(c.sendPacket(0, textBytes("A,B,C,D,E,F,G")).ok());
    struct Case
    {
        const char* legend;
        std::uint16_t command;
    };
    const Case cases[] = {
        {"connection opened", 0xF000},
        {"connection closed: would log the recorder out", 0xF001},
        {"connection timed out", 0xF002},
        {"data received", 0xF003},
    };
    for (const auto& k : cases) {
        const auto r = c.sendPacket(k.command, textBytes("2026/12/06 12:00:00"));
        EXPECT_TRUE(r.ok()) << k.legend << ": " << r.error;
        EXPECT_TRUE(m_log.has("B_G:command " + std::to_string(k.command) +
                              " is a connection event code; acknowledged, not reported"))
            << k.legend;
    }
    ASSERT_TRUE(c.sendPacket(0xF004, textBytes("beyond the events")).ok());
    ASSERT_TRUE(c.sendPacket(2, textBytes("$GPRMC,after")).ok());
    c.close();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));

    const auto e = events().eventsWithout(EventCode::DATA_RECEIVED);
    const std::vector<std::int32_t> expected = {EventCode::CONNECTION_OPENED, 0, 0xF004, 2,
                                                EventCode::CONNECTION_CLOSED};
    EXPECT_EQ(codesOf(e), expected);
    EXPECT_EQ(e[3].text, "B_G") << "the connection goes on under its key";
}

TEST_F(ReceiverFixture, LargePacketsHoldTheBudgetByWhatTheySentAndWaitUnreadWhenItIsFull)
{
    writeSettings("[Option]\nMAX_PACKET_MEMORY=300000\n");
    startReceiver();
    PacketMemory& memory = m_frm->core().packetMemory;

    // A announces 250,000 bytes and sends 200,000: it holds what it sent.
    auto a = connect();
    Bytes first;
    recorder::appendPacket(first, 0x101, Bytes(250000, 'a'));
    ASSERT_TRUE(a.sendRaw(std::span(first).first(8 + 200000)));
    ASSERT_TRUE(waitUntil([&] { return memory.used() == 200000; })) << memory.used();

    // B's announcement takes nothing. Its bytes would leave neither packet
    // able to complete (A lacks 50,001, B 150,001, with 100,000 free): they wait unread.
    auto b = connect();
    Bytes second;
    recorder::appendPacket(second, 0x102, patternBytes(150000));
    ASSERT_TRUE(b.sendRaw(std::span(second).first(8)));
    ASSERT_TRUE(m_log.waitFor("header data size =000249F0"));
    EXPECT_EQ(memory.used(), 200000u) << "an announcement holds no memory";
    ASSERT_TRUE(b.sendRaw(std::span(second).subspan(8)));
    ASSERT_TRUE(m_log.waitFor(":waiting for packet memory"));
    EXPECT_EQ(memory.used(), 200000u);

    // Logins and positions never wait for the budget.
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(0, textBytes("A,C,C,D,E,F,G")).ok());
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,while the budget is full")).ok());

    // A packet larger than the whole budget can never be held: its connection ends at once.
    auto d = connect();
    ASSERT_TRUE(d.sendRaw(encodeHeader(0x103, 300000)));
    EXPECT_EQ(d.waitForClose(10s), CloseWait::Closed);
    EXPECT_TRUE(m_log.has(":packet size 300000 exceeds MAX_PACKET_MEMORY, closing the connection"));

    // A finishes: its memory goes back, and B's packet is delivered whole and acknowledged.
    ASSERT_TRUE(a.sendRaw(std::span(first).subspan(8 + 200000)));
    const auto ackA = a.readAck();
    ASSERT_EQ(ackA.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ackA.bytes, encodeAck(0x101));
    const auto ackB = b.readAck();
    ASSERT_EQ(ackB.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ackB.bytes, encodeAck(0x102));
    EXPECT_TRUE(m_log.has(":packet memory granted"));
    const auto packets = events().eventsWithout(EventCode::DATA_RECEIVED);
    const auto delivered = std::find_if(packets.begin(), packets.end(),
                                        [](const HostEvent& e) { return e.code == 0x102; });
    ASSERT_NE(delivered, packets.end());
    EXPECT_EQ(delivered->data, std::string(second.begin() + 8, second.end()) + '\0');
    EXPECT_EQ(memory.used(), 0u) << "delivered packets give their memory back";

    // While one connection waits for memory, stopping the library still ends every connection.
    ASSERT_TRUE(a.sendRaw(std::span(first).first(8 + 200000)));
    ASSERT_TRUE(waitUntil([&] { return memory.used() == 200000; })) << memory.used();
    ASSERT_TRUE(b.sendRaw(std::span(second).first(8 + 100000)));
    ASSERT_TRUE(m_log.waitForCount(":waiting for packet memory", 2));
    m_frm->stop();
    EXPECT_EQ(b.waitForClose(10s), CloseWait::Closed);
    EXPECT_EQ(a.waitForClose(10s), CloseWait::Closed);
    EXPECT_EQ(memory.used(), 0u) << "ended connections give their memory back";
}

TEST_F(ReceiverFixture, PeersTricklingAnnouncedPacketsThatFillTheBudgetBlindNobody)
{
    // Announced sizes halving from 32 MiB to 1 byte fill a 64 MiB budget to within 2 bytes.
    constexpr std::uint64_t kBudget = 64u << 20;
    writeSettings("[Option]\nMAX_PACKET_MEMORY=" + std::to_string(kBudget) + "\n");
    startReceiver();
    PacketMemory& memory = m_frm->core().packetMemory;
    const std::uint64_t residentBefore = residentBytes();

    std::vector<recorder::RecorderConnection> peers;
    std::vector<std::uint32_t> sizes;
    std::uint64_t announced = 0;
    for (std::uint64_t share = kBudget / 2; share >= 2; share /= 2) {
        sizes.push_back(static_cast<std::uint32_t>(share - 1));
        announced += share;
        peers.push_back(connect("127.0.0.1"));
        ASSERT_TRUE(peers.back().sendRaw(encodeHeader(0x101, sizes.back())));
    }
    ASSERT_GE(announced, kBudget - 2);

    // Each peer sends 120 bytes a second of its payload, above the rate floor.
    std::mutex mutex;
    std::condition_variable stopped;
    bool stop = false;
    std::atomic<std::uint64_t> sent{0};
    std::jthread trickle([&] {
        const Bytes piece(120, 't');
        std::vector<std::uint32_t> left = sizes;
        std::unique_lock lock(mutex);
        do {
            for (std::size_t i = 0; i < peers.size(); ++i) {
                // Never the last byte: no peer ever completes its packet.
                const std::size_t n = std::min<std::size_t>(piece.size(), left[i] - 1);
                if (n > 0 && peers[i].sendRaw(std::span(piece).first(n))) {
                    left[i] -= static_cast<std::uint32_t>(n);
                    sent += n;
                }
            }
        } while (!stopped.wait_for(lock, 1s, [&] { return stop; }));
    });
    ASSERT_TRUE(waitUntil([&] { return sent.load() > 2 * 120 * 20; }));

    // A recorder from another address logs in and sends a position and a 3 MB clip.
    auto recorder = connect("127.0.0.2");
    EXPECT_TRUE(recorder.sendPacket(0, textBytes("A,S,C,D,E,F,G")).ok());
    EXPECT_TRUE(recorder.sendPacket(2, textBytes("$GPRMC,live")).ok());
    const auto clip = recorder.sendPacket(0x101, Bytes(3'000'000, 'c'));
    EXPECT_TRUE(clip.ok()) << clip.error;
    EXPECT_FALSE(m_log.has(":waiting for packet memory"));

    // The peers hold only what they sent; the process grows by no more than that
    // and a small fixed amount per connection (its thread and receive buffer).
    constexpr std::uint64_t kPerConnection = 256 << 10;
    const std::uint64_t trickled = sent.load();
    EXPECT_LE(memory.used(), trickled);
    // A sanitizer's shadow memory and thread bookkeeping would dwarf the figure.
    if (!kSanitized && residentBytes() != 0) {
        EXPECT_LE(residentBytes(), residentBefore + trickled + (peers.size() + 1) * kPerConnection)
            << "resident before: " << residentBefore << ", sent: " << trickled;
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    stopped.notify_all();
}

TEST_F(ReceiverFixture, SlowPeersAreEndedAndASlowButSteadyClipIsNot)
{
    // A header must be whole within the silence limit from its first byte,
    // however often its bytes come; a large payload (over 64 KiB, held in the
    // packet memory) must keep 400 bytes a second over each 500 ms, while a
    // small one may pause as long as the silence limit allows.
    startReceiver({.silenceLimit = 2s, .payloadRateFloor = {500ms, 400}});
    const std::uint32_t large = kMaxReadSize + 1000;
    ASSERT_TRUE(PacketFramer::isLarge(large));

    auto header = connect();
    const Bytes packet = [] {
        Bytes out;
        recorder::appendPacket(out, 2, textBytes("$GPRMC,slow"));
        return out;
    }();
    ASSERT_TRUE(dripUntilClosed(header, std::span(packet).first(7), 1, 250ms) ||
                header.waitForClose(10s) == CloseWait::Closed);
    ASSERT_TRUE(
        m_log.waitFor(":header not complete within the silence limit, closing the connection"));

    auto payload = connect();
    Bytes slow;
    recorder::appendPacket(slow, 0x101, Bytes(large, 'p'));
    ASSERT_TRUE(dripUntilClosed(payload, slow, 8 + 10, 100ms))
        << "10 bytes every 100 ms is too slow";
    // The log tells the bytes of the window that fell short and the floor.
    const std::regex cut(":payload slower than the rate floor, closing the connection "
                         "\\((\\d+) bytes in 500 ms, the floor is 200\\)");
    std::string cutLine;
    ASSERT_TRUE(waitUntil([&] {
        for (const std::string& line : m_log.lines())
            if (std::regex_match(line, cut))
                cutLine = line;
        return !cutLine.empty();
    }));
    std::smatch figures;
    ASSERT_TRUE(std::regex_match(cutLine, figures, cut));
    EXPECT_LT(std::stoul(figures[1].str()), 200u) << cutLine;

    // A position whose payload pauses for two rate windows, within the
    // silence limit, like one sent across a radio handover.
    auto paused = connect();
    Bytes position;
    recorder::appendPacket(position, 2, textBytes("$GPRMC,paused"));
    EXPECT_FALSE(dripUntilClosed(paused, position, 8 + 7, 1s)) << "a small payload is kept";
    const auto positionAck = paused.readAck();
    ASSERT_EQ(positionAck.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(positionAck.bytes, encodeAck(2));

    auto steady = connect();
    Bytes clip;
    recorder::appendPacket(clip, 0x101, Bytes(large, 'c'));
    EXPECT_FALSE(dripUntilClosed(steady, clip, 5000, 100ms)) << "50 kB a second is kept";
    const auto ack = steady.readAck();
    ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ack.bytes, encodeAck(0x101));

    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED, 2));
    std::size_t timedOut = 0;
    for (const auto& e : events().events())
        timedOut += e.code == EventCode::CONNECTION_TIMED_OUT ? 1 : 0;
    EXPECT_EQ(timedOut, 2u) << "each slow peer ends as a timed-out connection";
}

TEST_F(ReceiverFixture, OneAddressCannotHoldMoreThanItsShareOfConnectionsNotLoggedIn)
{
    writeSettings("[Option]\nMAX_CONNECTIONS_PER_ADDRESS=2\n");
    startReceiver();
    auto a = connect("127.0.0.1");
    auto b = connect("127.0.0.1");
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED, 2));
    auto third = connect("127.0.0.1");
    EXPECT_EQ(third.waitForClose(10s), CloseWait::Closed);
    EXPECT_TRUE(m_log.has("Connection refused: 2 connections not logged in from 127.0.0.1, "
                          "MAX_CONNECTIONS_PER_ADDRESS reached"));

    auto other = connect("127.0.0.2");
    EXPECT_TRUE(other.sendPacket(2, textBytes("$GPRMC,other")).ok()) << "another address is served";
    EXPECT_TRUE(a.sendPacket(2, textBytes("$GPRMC,still")).ok());

    // Recorders behind one carrier's address: once logged in, they count no more.
    std::vector<recorder::RecorderConnection> fleet;
    ASSERT_TRUE(a.sendPacket(0, textBytes("A,S0,C,D,E,F,G")).ok());
    ASSERT_TRUE(b.sendPacket(0, textBytes("A,S1,C,D,E,F,G")).ok());
    for (int i = 0; i < 6; ++i) {
        fleet.push_back(connect("127.0.0.1"));
        const auto login =
            fleet.back().sendPacket(0, textBytes("A,F" + std::to_string(i) + ",C,D,E,F,G"));
        EXPECT_TRUE(login.ok()) << "recorder " << i << ": " << login.error;
    }
    auto idle1 = connect("127.0.0.1");
    auto idle2 = connect("127.0.0.1");
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED, 11));
    auto idle3 = connect("127.0.0.1");
    EXPECT_EQ(idle3.waitForClose(10s), CloseWait::Closed) << "peers that never log in stay capped";
    for (auto& recorder : fleet)
        EXPECT_TRUE(recorder.sendPacket(2, textBytes("$GPRMC,fleet")).ok());
}

TEST_F(ReceiverFixture, KeysFromTheWireCannotWriteLinesOfTheirOwnIntoTheLog)
{
    startReceiver();
    auto c = connect();
    const std::string forged = "A,B\r\n12:00:00 MACID=FORGED_9\x1B[2J,C,D,E,F,G%41";
    ASSERT_TRUE(c.sendPacket(0, textBytes(forged)).ok());
    ASSERT_TRUE(c.sendPacket(2, textBytes("$GPRMC,x")).ok());
    c.close();
    ASSERT_TRUE(m_log.waitFor("ThreadEnd...\r\n"));

    const std::string escapedKey = "B%0D%0A12:00:00 MACID=FORGED_9%1B[2J_G%2541";
    EXPECT_TRUE(m_log.inOrder({"A,B%0D%0A12:00:00 MACID=FORGED_9%1B[2J,C,D,E,F,G%2541",
                               "MACID=" + escapedKey, escapedKey + " :ACK, 4",
                               escapedKey + ":thread.Terminate !!!"}));
    for (const auto& line : m_log.lines()) {
        if (line == "ThreadEnd...\r\n")
            continue; // the listener's own line ends so
        EXPECT_EQ(std::count_if(line.begin(), line.end(),
                                [](char ch) { return static_cast<unsigned char>(ch) < 0x20; }),
                  0)
            << line;
    }
    const auto packets = events().eventsWithout(EventCode::DATA_RECEIVED);
    ASSERT_GE(packets.size(), 3u);
    EXPECT_EQ(packets[2].text, "B\r\n12:00:00 MACID=FORGED_9\x1B[2J_G%41")
        << "the host still gets the key as sent";
}
