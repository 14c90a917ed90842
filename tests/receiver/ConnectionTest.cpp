// A recorder's connection end to end over loopback: events, their order, the
// acknowledgements and the log lines.
#include "PacketBytes.h"
#include "ReceiverFixture.h"

#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <system_error>
#include <thread>

using namespace kavrel;
using recorder::Bytes;
using recorder::textBytes;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

Bytes packetBytes(std::uint16_t command, std::string_view payload)
{
    Bytes out;
    recorder::appendPacket(out, command, textBytes(payload));
    return out;
}

std::string withZero(std::string_view text)
{
    return std::string(text) + '\0';
}

// Waits for a condition that announces itself nowhere, looking again every millisecond.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

bool isTimeText(const std::string& s)
{
    return std::regex_match(s, std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})"));
}

} // namespace

TEST_F(ReceiverFixture, SilentConnectionTimesOutWithItsEventsAndLines)
{
    startReceiver({.silenceLimit = 150ms});
    auto c = connect();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));
    EXPECT_EQ(c.waitForClose(5s), recorder::RecorderConnection::CloseWait::Closed);

    const auto e = events().events();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].code, EventCode::CONNECTION_OPENED);
    EXPECT_EQ(e[1].code, EventCode::CONNECTION_TIMED_OUT);
    EXPECT_EQ(e[2].code, EventCode::CONNECTION_CLOSED);
    for (const auto& ev : e) {
        EXPECT_EQ(ev.text, "127.0.0.1");
        EXPECT_TRUE(isTimeText(ev.data)) << ev.data;
    }
    EXPECT_EQ(e[1].data, e[0].data) << "the time-out carries the time of the latest earlier event";

    ASSERT_TRUE(m_log.waitFor("ThreadEnd...\r\n"));
    EXPECT_TRUE(
        m_log.inOrder({"Accept", "GetThread", "ThreadStart", "Remote Address=127.0.0.1",
                       "CallbackInfo:connect!!", "Stream WaitForData(1):False",
                       "1 min wait time out !!!", "really time out, KILL this connection !!!",
                       "CallBackInfo:disconnect!!", ":thread.Terminate !!!", "ThreadEnd...\r\n"}));
}

TEST_F(ReceiverFixture, DataEventsThenPacketThenAckWhichWaitsForTheCallback)
{
    startReceiver();
    events().holdCode(EventCode::CMD_GPRMC_DATA);
    auto c = connect();
    const std::string sentence = "$GPRMC,1";
    ASSERT_TRUE(c.sendPacketOnly(2, textBytes(sentence)));
    ASSERT_TRUE(events().waitHeld(10s));
    EXPECT_EQ(c.readAck(200ms).status, recorder::AckRead::Status::TimedOut)
        << "no acknowledgement while the host's callback runs";
    events().release();
    const auto ack = c.readAck();
    ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ack.bytes, encodeAck(2));

    const auto e = events().events();
    ASSERT_GE(e.size(), 3u);
    EXPECT_EQ(e[0].code, EventCode::CONNECTION_OPENED);
    std::size_t i = 1;
    while (i < e.size() && e[i].code == EventCode::DATA_RECEIVED)
        ++i;
    EXPECT_GE(i, 2u) << "a data event for every read before the packet";
    ASSERT_LT(i, e.size());
    EXPECT_EQ(e[i].code, 2);
    EXPECT_EQ(e[i].data, withZero(sentence));
    ASSERT_TRUE(m_log.waitFor(" :ACK, 4")) << "the acknowledgement line follows the send";
    EXPECT_TRUE(m_log.inOrder(
        {": Cmd =02", "header data size =00000008", "Receive 00000008 bytes", " :ACK, 4"}));
}

TEST_F(ReceiverFixture, HeaderSplitAcrossReadsIsCollected)
{
    startReceiver();
    auto c = connect();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED));
    const Bytes packet = packetBytes(0x101, "clip-bytes");
    ASSERT_TRUE(c.sendRaw(std::span(packet).first(5)));
    ASSERT_TRUE(events().waitForCode(EventCode::DATA_RECEIVED, 1))
        << "the first 5 header bytes were read";
    ASSERT_TRUE(c.sendRaw(std::span(packet).subspan(5)));
    const auto ack = c.readAck();
    ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ack.bytes, encodeAck(0x101));
    const auto packets = events().eventsWithout(EventCode::DATA_RECEIVED);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].code, 0x101);
    EXPECT_EQ(packets[1].data, withZero("clip-bytes"));
}

TEST_F(ReceiverFixture, StreamsCutAnyWayGiveTheSamePackets)
{
    startReceiver();
    auto c = connect();
    std::mt19937 rng(42);
    Bytes big(200000);
    for (auto& b : big)
        b = static_cast<std::uint8_t>(rng());
    Bytes stream;
    recorder::appendPacket(stream, 2, textBytes("first"));
    recorder::appendPacket(stream, 6, textBytes("second")); // back to back in one write
    ASSERT_TRUE(c.sendRaw(stream));
    for (std::uint16_t command : {2, 6}) {
        const auto ack = c.readAck();
        ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
        EXPECT_EQ(ack.bytes, encodeAck(command));
    }

    Bytes large;
    recorder::appendPacket(large, 0xF0, big);
    const std::vector<std::size_t> pieces(large.size() / 997, 997);
    ASSERT_TRUE(c.sendRawPieces(large, pieces));
    const auto ack = c.readAck();
    ASSERT_EQ(ack.status, recorder::AckRead::Status::Received);
    EXPECT_EQ(ack.bytes, encodeAck(0xF0));

    const auto packets = events().eventsWithout(EventCode::DATA_RECEIVED);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[1].data, withZero("first"));
    EXPECT_EQ(packets[2].data, withZero("second"));
    ASSERT_EQ(packets[3].data.size(), 200001u);
    EXPECT_EQ(std::memcmp(big.data(), packets[3].data.data(), big.size()), 0);
    EXPECT_TRUE(c.nothingPending());
}

TEST_F(ReceiverFixture, RejectedHeaderIsDroppedAndTheNextOneFramed)
{
    startReceiver();
    auto c = connect();
    auto bad = encodeHeader(2, 4);
    bad[6] ^= 0x40; // wrong check, check value not 0
    ASSERT_TRUE(c.sendRaw(bad));
    const auto result = c.sendPacket(5, textBytes("undefined command"));
    EXPECT_TRUE(result.ok()) << result.error;
    const auto packets = events().eventsWithout(EventCode::DATA_RECEIVED);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].code, 5);
    EXPECT_TRUE(m_log.inOrder({": Cmd =02", "header data size =00000004", ": Cmd =05"}));
}

TEST_F(ReceiverFixture, DeviceRecordsNameTheConnection)
{
    startReceiver();
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,a")).ok());
    EXPECT_TRUE(c.sendPacket(0, textBytes("A,B,C,D,E,F,G")).ok());
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,b")).ok());
    EXPECT_TRUE(c.sendPacket(0, textBytes("A,X,C,D,E,F,G")).ok());
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,c")).ok());
    c.close();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));

    std::vector<std::pair<std::int32_t, std::string>> seen;
    for (const auto& e : events().eventsWithout(EventCode::DATA_RECEIVED))
        seen.emplace_back(e.code, e.text);
    const std::vector<std::pair<std::int32_t, std::string>> expected = {
        {EventCode::CONNECTION_OPENED, "127.0.0.1"},
        {2, "127.0.0.1"},
        {0, "B_G"},
        {2, "B_G"},
        {0, "X_G"},
        {2, "X_G"},
        {EventCode::CONNECTION_CLOSED, "X_G"}};
    EXPECT_EQ(seen, expected);
    ASSERT_TRUE(m_log.waitFor("ThreadEnd...\r\n"));
    EXPECT_TRUE(m_log.inOrder({": Cmd =02", " :ACK, 4", ": Cmd =00", "A,B,C,D,E,F,G", "MACID=B_G",
                               "B_G :ACK, 4", "MACID=X_G", "X_G: Cmd =02",
                               "X_G:recv 0 , maybe disconnected", "X_G:thread.Terminate !!!"}));
}

TEST_F(ReceiverFixture, PacketsAreAcknowledgedWithoutACallback)
{
    startReceiver({.callback = false});
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(0, textBytes("A,B,C,D,E,F,G")).ok());
    EXPECT_TRUE(c.sendPacket(0x104, textBytes("clip")).ok());
    EXPECT_TRUE(events().events().empty());
    EXPECT_FALSE(m_log.has("CallbackInfo:connect!!"));
}

TEST_F(ReceiverFixture, SizeZeroHeaderEndsTheConnectionAtTheNextData)
{
    startReceiver();
    auto c = connect();
    // The header never completes a packet: the next read asks for 0 bytes and ends the connection.
    ASSERT_TRUE(c.sendRaw(encodeHeader(2, 0)));
    ASSERT_TRUE(events().waitForCode(EventCode::DATA_RECEIVED, 1));
    ASSERT_TRUE(c.sendRaw(textBytes("more")));
    EXPECT_EQ(c.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));
    EXPECT_TRUE(m_log.has(":recv 0 , maybe disconnected"));
    EXPECT_TRUE(m_log.has("Disconnect"));
}

TEST_F(ReceiverFixture, RawFilesHoldEachPacketWhenSaveDataIsOne)
{
    writeSettings("[option]\nsave_data=257\n");
    startReceiver();
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,raw")).ok());
    const fs::path raw = m_host.path() + "raw";
    ASSERT_TRUE(fs::is_directory(raw));
    std::vector<fs::path> files(fs::directory_iterator(raw), fs::directory_iterator{});
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(files[0].filename().string(), std::regex(R"(\d{6} 127\.0\.0\.1\.bin)")))
        << files[0];
    std::ifstream in(files[0], std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(content, withZero("$GPRMC,raw"));
    EXPECT_TRUE(fs::is_directory(m_host.path() + "log"))
        << "SAVE_DATA also sets up the log folders";
}

TEST_F(ReceiverFixture, UnwritableRawFileIsLoggedAndThePacketStillDelivered)
{
    writeSettings("[Option]\nSAVE_DATA=1\n");
    std::ofstream(m_host.path() + "raw") << "a file where the folder should be";
    startReceiver();
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(2, textBytes("$GPRMC,x")).ok());
    EXPECT_EQ(events().eventsWithout(EventCode::DATA_RECEIVED).size(), 2u);
    const auto lines = m_log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Raw file not written: ");
    }));
}

TEST_F(ReceiverFixture, OversizedPacketClosesTheConnection)
{
    writeSettings("[Option]\nMAX_PACKET_SIZE=100\n");
    startReceiver();
    auto c = connect();
    EXPECT_TRUE(c.sendPacket(2, Bytes(100, 'x')).ok()) << "the limit itself is allowed";
    ASSERT_TRUE(c.sendRaw(encodeHeader(0x101, 101)));
    EXPECT_EQ(c.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));
    EXPECT_TRUE(m_log.has(":packet size 101 exceeds MAX_PACKET_SIZE, closing the connection"));
}

TEST_F(ReceiverFixture, ConnectionsBeyondTheLimitAreClosedAtOnce)
{
    writeSettings("[Option]\nMAX_CONNECTIONS=2\n");
    startReceiver();
    auto a = connect();
    auto b = connect();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED, 2));
    auto third = connect();
    EXPECT_EQ(third.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    EXPECT_TRUE(a.sendPacket(2, textBytes("$GPRMC,still")).ok());
    EXPECT_TRUE(m_log.has("Connection refused: 2 connections open, MAX_CONNECTIONS reached"));
}

TEST_F(ReceiverFixture, StopEndsConnectionsEvenWhenTheCallbackBlocks)
{
    startReceiver({.callbackGrace = 100ms});
    auto idle = connect();
    auto busy = connect();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED, 2));
    events().holdCode(EventCode::CMD_GPRMC_DATA);
    ASSERT_TRUE(busy.sendPacketOnly(2, textBytes("$GPRMC,held")));
    ASSERT_TRUE(events().waitHeld(10s));

    m_frm->stop(); // must return although one worker sits in the callback
    EXPECT_EQ(idle.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    EXPECT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED, 1));

    events().release();
    EXPECT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED, 2))
        << "the held worker still reports the end of its connection";
    EXPECT_FALSE(m_log.has("Stream WaitForData(1):False")) << "nothing is logged once stopping";
    m_frm.reset();
}

TEST_F(ReceiverFixture, AWorkerThatCannotStartEndsOnlyItsOwnConnection)
{
    std::atomic<int> starts{0};
    startReceiver({.startThread = [&starts](std::function<void()> body) {
        if (starts++ == 0) // as when the system has no thread left to give
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::jthread(std::move(body));
    }});
    auto first = connect();
    EXPECT_EQ(first.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    auto second = connect();
    EXPECT_TRUE(second.sendPacket(2, textBytes("$GPRMC,after")).ok())
        << "the listener goes on accepting";
    const auto lines = m_log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Connection closed, no worker: ");
    }));
}

TEST_F(ReceiverFixture, EndedWorkersAreJoinedWithoutWaitingForAnotherConnection)
{
    startReceiver({.workerSweep = 20ms});
    auto c = connect();
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_OPENED));
    c.close();
    ASSERT_TRUE(m_log.waitFor("ThreadEnd...\r\n"));
    EXPECT_TRUE(eventually([&] { return m_frm->listener().workerCount() == 0; }));
}

TEST_F(ReceiverFixture, ARecorderThatNeverReadsItsAcknowledgementsIsEndedAfterTheSilenceLimit)
{
    // Far more acknowledgements than the socket buffers hold; the recorder reads none.
    Bytes stream;
    for (int i = 0; i < 50000; ++i)
        recorder::appendPacket(stream, 2, textBytes("x"));
    startReceiver({.silenceLimit = 300ms});
    recorder::RecorderConnection deaf;
    deaf.setReceiveBufferSize(1); // the smallest the system gives
    ASSERT_TRUE(deaf.connect("127.0.0.1", m_frm->listener().port()));
    deaf.sendRaw(stream); // fails, or ends in the station's buffers, as their sizes decide
    ASSERT_TRUE(events().waitForCode(EventCode::CONNECTION_CLOSED));
    EXPECT_TRUE(m_log.inOrder({"client error", "Disconnect", " :ACK Error!!"}));
    auto other = connect();
    EXPECT_TRUE(other.sendPacket(2, textBytes("$GPRMC,other")).ok());
}
