// The recorder client over real loopback sockets against an in-test receiver:
// acknowledgements checked byte for byte, a closing peer noticed, raw writes
// arriving intact however they are cut.
#include "RecorderConnection.h"

#include "PacketBytes.h"
#include "TestAckServer.h"
#include "kavrel_events.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace recorder;
using namespace std::chrono_literals;

namespace {

constexpr auto kTestTimeout = 5000ms;
constexpr auto kShortAckTimeout = 200ms;

const std::uint8_t kSentence[] = {'$', 'G', 'P', 'R', 'M', 'C', ',', '1', '*', '0', '0'};

RecorderConnection connectTo(const TestAckServer& server)
{
    RecorderConnection c;
    EXPECT_TRUE(c.connect("127.0.0.1", server.port(), kTestTimeout)) << c.lastError();
    return c;
}

} // namespace

TEST(RecorderConnection, ChecksEachAcknowledgement)
{
    struct Case
    {
        const char* legend;
        TestAckServer::Mode mode;
        PacketResult::Outcome outcome;
        std::size_t bytesBack;
    };
    const Case cases[] = {
        {"right acknowledgement", TestAckServer::Mode::Ack, PacketResult::Outcome::Acked, 4},
        {"command bytes in the wrong order", TestAckServer::Mode::WrongAck,
         PacketResult::Outcome::AckMismatch, 4},
        {"peer closes instead of answering", TestAckServer::Mode::CloseWithoutAck,
         PacketResult::Outcome::PeerClosed, 0},
        {"peer closes after half an acknowledgement", TestAckServer::Mode::HalfAckThenClose,
         PacketResult::Outcome::PeerClosed, 2},
        {"peer never answers", TestAckServer::Mode::Silent, PacketResult::Outcome::AckTimedOut, 0},
    };
    for (const auto& c : cases) {
        TestAckServer server(c.mode);
        RecorderConnection connection = connectTo(server);
        const auto r = connection.sendPacket(
            kavrel::EventCode::CMD_GPRMC_DATA, kSentence,
            c.mode == TestAckServer::Mode::Silent ? kShortAckTimeout : kTestTimeout);
        EXPECT_EQ(r.outcome, c.outcome) << c.legend << ": " << r.error;
        EXPECT_EQ(r.receivedCount, c.bytesBack) << c.legend;
        EXPECT_EQ(r.ok(), c.outcome == PacketResult::Outcome::Acked) << c.legend;
        EXPECT_EQ(r.error.empty(), r.ok()) << c.legend << ": " << r.error;
        ASSERT_TRUE(server.waitForPackets(1, kTestTimeout)) << c.legend;
        const auto packets = server.packets();
        EXPECT_EQ(packets[0].command, kavrel::EventCode::CMD_GPRMC_DATA) << c.legend;
        EXPECT_EQ(packets[0].payload, Bytes(std::begin(kSentence), std::end(kSentence)))
            << c.legend;
    }
}

TEST(RecorderConnection, MismatchMessageShowsBothAcknowledgements)
{
    TestAckServer server(TestAckServer::Mode::WrongAck);
    RecorderConnection connection = connectTo(server);
    const auto r = connection.sendPacket(0x0101 + 1, kSentence, kTestTimeout);
    ASSERT_EQ(r.outcome, PacketResult::Outcome::AckMismatch);
    EXPECT_NE(r.error.find("00 01 02 01"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("expected 00 01 01 02"), std::string::npos) << r.error;
}

TEST(RecorderConnection, RawWritesArriveWholeHoweverTheyAreCut)
{
    // Two packets: a position sentence and a 200 000-byte clip.
    Bytes stream;
    appendPacket(stream, kavrel::EventCode::CMD_GPRMC_DATA, kSentence);
    Bytes clip(200000);
    for (std::size_t i = 0; i < clip.size(); ++i)
        clip[i] = static_cast<std::uint8_t>(i * 31);
    appendPacket(stream, kavrel::EventCode::CMD_MPEG4_I_CH3, clip);

    struct Case
    {
        const char* legend;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {"both packets in one write", {}},
        {"first header split 5 + 3", {5, 3}},
        {"payload in small writes", {8, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 13, 7, 1000}},
        {"pieces longer than the stream", {stream.size() * 2}},
    };
    for (const auto& c : cases) {
        TestAckServer server(TestAckServer::Mode::Ack);
        RecorderConnection connection = connectTo(server);
        ASSERT_TRUE(connection.sendRawPieces(stream, c.pieces))
            << c.legend << connection.lastError();
        for (std::uint16_t command :
             {kavrel::EventCode::CMD_GPRMC_DATA, kavrel::EventCode::CMD_MPEG4_I_CH3}) {
            const AckRead ack = connection.readAck(kTestTimeout);
            ASSERT_EQ(ack.status, AckRead::Status::Received) << c.legend;
            EXPECT_EQ(ack.bytes, kavrel::encodeAck(command)) << c.legend;
        }
        EXPECT_TRUE(connection.nothingPending()) << c.legend;
        const auto packets = server.packets();
        ASSERT_EQ(packets.size(), 2u) << c.legend;
        EXPECT_EQ(packets[1].payload, clip) << c.legend;
    }
}

TEST(RecorderConnection, NoticesThePeerClosing)
{
    TestAckServer server(TestAckServer::Mode::CloseWithoutAck);
    RecorderConnection connection = connectTo(server);
    ASSERT_TRUE(connection.sendPacketOnly(kavrel::EventCode::CMD_GPRMC_DATA, kSentence));
    Bytes received;
    EXPECT_EQ(connection.waitForClose(kTestTimeout, &received),
              RecorderConnection::CloseWait::Closed);
    EXPECT_TRUE(received.empty());
}

TEST(RecorderConnection, WaitForCloseTimesOutWhileThePeerStaysAndKeepsWhatArrived)
{
    TestAckServer server(TestAckServer::Mode::Ack);
    RecorderConnection connection = connectTo(server);
    ASSERT_TRUE(connection.sendPacketOnly(kavrel::EventCode::QUVEX_INFO, kSentence));
    Bytes received;
    EXPECT_EQ(connection.waitForClose(kShortAckTimeout, &received),
              RecorderConnection::CloseWait::TimedOut);
    EXPECT_EQ(received, Bytes({0x00, 0x01, 0x00, 0x00}));
}

TEST(RecorderConnection, RefusedConnectionSaysSo)
{
    // A bound socket that does not listen: connecting to its port is refused,
    // and nobody else can take the port meanwhile.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    platform::FileDescriptor holder(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);

    RecorderConnection connection;
    EXPECT_FALSE(connection.connect("127.0.0.1", ntohs(address.sin_port), kTestTimeout));
    EXPECT_NE(connection.lastError().find("connection refused"), std::string::npos)
        << connection.lastError();
    EXPECT_FALSE(connection.isOpen());
    const auto r = connection.sendPacket(2, kSentence, kShortAckTimeout);
    EXPECT_EQ(r.outcome, PacketResult::Outcome::SendFailed);
}
