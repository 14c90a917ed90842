// Peers that are no recorder, or careless ones, over loopback against the real
// library: forged connection events, packets that would take more memory than
// the budget, slow headers and payloads, many connections from one address,
// and keys that try to write lines of their own into the log.
#include "PacketBytes.h"
#include "ReceiverFixture.h"

#include <algorithm>
#include <thread>

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

TEST_F(ReceiverFixture, PacketsBeyondTheMemoryBudgetWaitUnreadUntilMemoryIsFree)
{
    writeSettings("[Option]\nMAX_PACKET_MEMORY=1000\n");
    startReceiver();
    PacketMemory& memory = m_frm->core().packetMemory;

    // A holds 801 bytes of the budget with a packet it has not finished.
    auto a = connect();
    Bytes first;
    recorder::appendPacket(first, 0x101, Bytes(800, 'a'));
    ASSERT_TRUE(a.sendRaw(std::span(first).first(8 + 100)));
    ASSERT_TRUE(m_log.waitFor("Receive 00000064 bytes"));
    EXPECT_EQ(memory.used(), 801u);

    // B's whole packet has arrived, but its 501 bytes do not fit beside A's.
    auto b = connect();
    Bytes second(500);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(b.sendPacketOnly(0x102, second));
    ASSERT_TRUE(m_log.waitFor(":waiting for packet memory"));
    EXPECT_TRUE(events().eventsWithout(EventCode::DATA_RECEIVED).size() == 2u)
        << "nothing but the two openings is reported while B waits";

    // A packet larger than the whole budget can never be granted: its connection ends.
    auto c = connect();
    ASSERT_TRUE(c.sendRaw(encodeHeader(0x103, 1000)));
    EXPECT_EQ(c.waitForClose(10s), CloseWait::Closed);
    EXPECT_TRUE(m_log.has(":packet size 1000 exceeds MAX_PACKET_MEMORY, closing the connection"));

    // A finishes: its memory goes back, and B's packet is read, delivered whole and acknowledged.
    ASSERT_TRUE(a.sendRaw(std::span(first).subspan(8 + 100)));
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
    EXPECT_EQ(delivered->data, std::string(second.begin(), second.end()) + '\0');
    EXPECT_EQ(memory.used(), 0u) << "delivered packets give their memory back";

    // While one connection waits for memory, stopping the library still ends every connection.
    ASSERT_TRUE(a.sendRaw(std::span(first).first(8 + 1)));
    ASSERT_TRUE(m_log.waitFor("Receive 00000001 bytes"));
    auto d = connect();
    ASSERT_TRUE(d.sendPacketOnly(0x104, second));
    ASSERT_TRUE(m_log.waitForCount(":waiting for packet memory", 2));
    m_frm->stop();
    EXPECT_EQ(d.waitForClose(10s), CloseWait::Closed);
    EXPECT_EQ(a.waitForClose(10s), CloseWait::Closed);
    EXPECT_EQ(memory.used(), 0u) << "ended connections give their memory back";
}

TEST_F(ReceiverFixture, SlowPeersAreEndedAndASlowButSteadyClipIsNot)
{
    // A header must be whole within the silence limit from its first byte,
    // however often its bytes come; a payload must keep 400 bytes a second
    // over each 500 ms.
    startReceiver({.silenceLimit = 2s, .payloadRateFloor = {500ms, 400}});

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
    recorder::appendPacket(slow, 0x101, Bytes(100000, 'p'));
    ASSERT_TRUE(dripUntilClosed(payload, slow, 8 + 10, 100ms))
        << "10 bytes every 100 ms is too slow";
    ASSERT_TRUE(m_log.waitFor(":payload slower than the rate floor, closing the connection"));

    auto steady = connect();
    Bytes clip;
    recorder::appendPacket(clip, 0x101, Bytes(12000, 'c'));
    EXPECT_FALSE(dripUntilClosed(steady, clip, 1000, 100ms)) << "10 kB a second is kept";
    const auto ack = steady.readAck();
    ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ack.bytes, encodeAck(0x101));

    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED, 2));
    std::size_t timedOut = 0;
    for (const auto& e : events().events())
        timedOut += e.code == EventCode::CONNECTION_TIMED_OUT ? 1 : 0;
    EXPECT_EQ(timedOut, 2u) << "each slow peer ends as a timed-out connection";
}

TEST_F(ReceiverFixture, OneAddressCannotTakeEveryConnection)
{
    writeSettings("[Option]\nMAX_CONNECTIONS_PER_ADDRESS=2\n");
    startReceiver();
    auto a = connect("127.0.0.1");
    auto b = connect("127.0.0.1");
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED, 2));
    auto third = connect("127.0.0.1");
    EXPECT_EQ(third.waitForClose(10s), CloseWait::Closed);
    EXPECT_TRUE(m_log.has("Connection refused: 2 connections open from 127.0.0.1, "
                          "MAX_CONNECTIONS_PER_ADDRESS reached"));

    auto other = connect("127.0.0.2");
    EXPECT_TRUE(other.sendPacket(2, textBytes("$GPRMC,other")).ok()) << "another address is served";
    EXPECT_TRUE(a.sendPacket(2, textBytes("$GPRMC,still")).ok());
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
