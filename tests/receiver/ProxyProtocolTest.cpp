// Recorders behind a load balancer: the library trusts TRUSTED_PROXIES to
// name the recorder in a PROXY protocol v2 header, and nobody else. End to
// end through a real haproxy started from the fleet's own configuration
// (scripts/fleet/haproxy.cfg.in), and peers that talk to the library directly.
#include "ChildProcess.h"
#include "FleetProxyConfig.h"
#include "FreePort.h"
#include "PacketBytes.h"
#include "ReceiverFixture.h"

#include <fstream>
#include <sstream>
#include <thread>

namespace EventCode = kavrel::EventCode;
using CloseWait = recorder::RecorderConnection::CloseWait;
using recorder::textBytes;
using testsupport::ChildProcess;
using testsupport::findTool;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// How long the proxy may take to listen, and the pause between probes.
constexpr auto kProxyStart = 10s;
constexpr auto kProbePause = 20ms;

// A PROXY protocol v2 header: the command (0x20 LOCAL, 0x21 PROXY) and, for
// PROXY, TCP over IPv4 from the address given.
Bytes proxyHeader(std::uint8_t command, std::array<std::uint8_t, 4> from = {})
{
    Bytes h = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A, command};
    if (command == 0x20) {
        h.insert(h.end(), {0x00, 0x00, 0x00});
        return h;
    }
    h.insert(h.end(), {0x11, 0x00, 0x0C});
    h.insert(h.end(), from.begin(), from.end());
    h.insert(h.end(), {127, 0, 0, 1, 0x9C, 0x40, 0x25, 0x80});
    return h;
}

Bytes packet(std::uint16_t command, std::string_view payload)
{
    Bytes out;
    recorder::appendPacket(out, command, textBytes(payload));
    return out;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The fleet's configuration with one gateway behind both of its names.
std::string fleetConfiguration(std::uint16_t listenPort, std::uint16_t gatewayPort)
{
    return fleetProxyConfiguration(STATION_HAPROXY_TEMPLATE, listenPort, gatewayPort, gatewayPort);
}

bool hasEvent(const std::vector<HostEvent>& events, std::int32_t code, const std::string& text)
{
    return std::any_of(events.begin(), events.end(),
                       [&](const HostEvent& e) { return e.code == code && e.text == text; });
}

} // namespace

TEST_F(ReceiverFixture, RecordersBehindTheProxyAreKnownAndCountedByTheirOwnAddress)
{
    writeSettings("[Option]\nTRUSTED_PROXIES=127.0.0.1\nMAX_CONNECTIONS_PER_ADDRESS=1\n");
    startReceiver();
    ASSERT_TRUE(m_log.has("TRUSTED_PROXIES: connections from 127.0.0.1 begin with a PROXY "
                          "protocol v2 header"));

    const std::uint16_t proxyPort = testsupport::freePort();
    const std::string config = m_host.path() + "haproxy.cfg";
    std::ofstream(config) << fleetConfiguration(proxyPort, m_frm->listener().port());
    ChildProcess haproxy({findTool("haproxy", "haproxy"), "-db", "-f", config},
                         ChildProcess::Output::CaptureBoth);
    // Listening once a connection is taken; each probe reaches the library as
    // a recorder from 127.0.0.9 that says nothing.
    const auto deadline = std::chrono::steady_clock::now() + kProxyStart;
    for (;;) {
        recorder::RecorderConnection probe;
        probe.setLocalAddress("127.0.0.9");
        if (probe.connect("127.0.0.1", proxyPort))
            break;
        ASSERT_TRUE(haproxy.alive()) << "haproxy ended: " << haproxy.readLine(1s).value_or("");
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "haproxy does not listen";
        std::this_thread::sleep_for(kProbePause);
    }
    const auto viaProxy = [&](const std::string& from) {
        recorder::RecorderConnection c;
        c.setLocalAddress(from);
        EXPECT_TRUE(c.connect("127.0.0.1", proxyPort)) << c.lastError();
        return c;
    };

    // Known by its own address before it logs in: the connection's name, its
    // events and the log.
    auto first = viaProxy("127.0.0.2");
    ASSERT_TRUE(first.sendPacket(2, textBytes("$GPRMC,first")).ok());
    ASSERT_TRUE(events().waitFor([](const std::vector<HostEvent>& e) {
        return hasEvent(e, EventCode::CONNECTION_OPENED, "127.0.0.2") &&
               hasEvent(e, 2, "127.0.0.2");
    }));
    EXPECT_TRUE(m_log.has("PROXY header from 127.0.0.1: the recorder is 127.0.0.2"));
    EXPECT_TRUE(m_log.has("Remote Address=127.0.0.2"));

    // The guard counts 127.0.0.2, not the proxy: a second one from there is
    // refused, one from 127.0.0.3 is served.
    auto second = viaProxy("127.0.0.2");
    EXPECT_EQ(second.waitForClose(10s), CloseWait::Closed);
    EXPECT_TRUE(m_log.waitFor("Connection refused: 1 connections not logged in from 127.0.0.2, "
                              "MAX_CONNECTIONS_PER_ADDRESS reached"));
    auto other = viaProxy("127.0.0.3");
    EXPECT_TRUE(other.sendPacket(2, textBytes("$GPRMC,other")).ok());

    // Logged in, the first counts no more: 127.0.0.2 may connect again.
    ASSERT_TRUE(first.sendPacket(0, textBytes("A,BUS-12,C,D,E,F,1")).ok());
    auto again = viaProxy("127.0.0.2");
    EXPECT_TRUE(again.sendPacket(2, textBytes("$GPRMC,again")).ok());
    EXPECT_TRUE(first.sendPacket(2, textBytes("$GPRMC,logged-in")).ok());
    const auto all = events().events();
    EXPECT_TRUE(hasEvent(all, 2, "BUS-12_1"));
    EXPECT_TRUE(hasEvent(all, 2, "127.0.0.3"));
    EXPECT_FALSE(hasEvent(all, 2, "127.0.0.1")) << "no recorder is known by the proxy's address";

    haproxy.stop();
}

TEST_F(ReceiverFixture, OnlyATrustedProxyIsReadForAHeaderAndAMalformedOneEndsItsConnection)
{
    writeSettings("[Option]\nTRUSTED_PROXIES=127.0.0.1, 10.0.0.0/8\n");
    StartOptions options;
    options.silenceLimit = 500ms;
    startReceiver(options);
    const Bytes position = packet(2, "$GPRMC,x");
    const Bytes fromTenNine = proxyHeader(0x21, {10, 9, 9, 9});
    const struct
    {
        const char* legend;
        const char* from;
        Bytes bytes;
        std::string openedAs; // the connection's name in its events; empty: never opened
        std::string logLine;  // the line that tells why it closed
        bool acked = false;   // the position after the header is acknowledged
    } cases[] = {
        {"a trusted proxy's header and the recorder's packet in one segment", "127.0.0.1",
         fromTenNine + position, "10.9.9.9", "", true},
        {"LOCAL: the proxy's own connection keeps its address", "127.0.0.1",
         proxyHeader(0x20) + position, "127.0.0.1", "", true},
        {"an untrusted peer's header is link bytes: it names nobody", "127.0.0.2", fromTenNine,
         "127.0.0.2", ""},
        {"a trusted proxy that sends no header", "127.0.0.1", position, "",
         "PROXY header from 127.0.0.1 not taken: no PROXY protocol v2 signature, closing the "
         "connection"},
        {"a header cut short, then silence", "127.0.0.1",
         Bytes(fromTenNine.begin(), fromTenNine.begin() + 20), "",
         "PROXY header from 127.0.0.1 not taken: not complete within 500 ms (20 bytes came), "
         "closing the connection"},
        {"a header that announces more than the bound", "127.0.0.1",
         Bytes(fromTenNine.begin(), fromTenNine.begin() + 14) + Bytes{0x02, 0x10}, "",
         "PROXY header from 127.0.0.1 not taken: length 528 over the bound of 520, closing the "
         "connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        events().reset();
        auto peer = connect(c.from);
        ASSERT_TRUE(peer.sendRaw(c.bytes));
        if (c.acked) {
            EXPECT_EQ(peer.readAck().status, recorder::AckRead::Status::Received)
                << "no byte of the recorder's is taken with the header";
        }
        if (c.openedAs.empty()) {
            EXPECT_EQ(peer.waitForClose(10s), CloseWait::Closed);
            EXPECT_TRUE(m_log.waitFor(c.logLine));
        } else {
            peer.close();
        }
        ASSERT_TRUE(m_log.waitForCount("ThreadEnd...\r\n", 1 + (&c - cases)));
        const auto seen = events().events();
        EXPECT_EQ(hasEvent(seen, EventCode::CONNECTION_OPENED, c.openedAs), !c.openedAs.empty());
        for (const HostEvent& e : seen)
            EXPECT_EQ(e.text, c.openedAs) << "every event names the connection alike";
    }
}
