// The PROXY protocol v2 header as a load balancer sends it in front of a
// recorder's bytes: one table of headers, each fed whole and then byte by
// byte as short reads bring it, with the outcome every prefix must give.
#include "ProxyHeader.h"

#include "TrustedProxies.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using kavrel::parseProxyHeader;
using kavrel::ProxyHeader;
using Bytes = std::vector<std::uint8_t>;
using Outcome = ProxyHeader::Outcome;

namespace {

const Bytes kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};

// A header: signature, version and command, family and transport, the body's
// length (or the one given), the body.
Bytes header(std::uint8_t versionCommand, std::uint8_t family, const Bytes& body, int length = -1)
{
    Bytes h = kSignature;
    const auto n = static_cast<std::size_t>(length < 0 ? static_cast<int>(body.size()) : length);
    h.insert(h.end(), {versionCommand, family, static_cast<std::uint8_t>(n >> 8),
                       static_cast<std::uint8_t>(n & 0xFF)});
    h.insert(h.end(), body.begin(), body.end());
    return h;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// 127.0.0.2:40000 to 127.0.0.1:9600.
const Bytes kIpv4Addresses = {127, 0, 0, 2, 127, 0, 0, 1, 0x9C, 0x40, 0x25, 0x80};
// 2001:db8::7 to ::1, same ports.
const Bytes kIpv6Addresses = {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0,    0,    0,    0,
                              0,    0,    0,    7,    0, 0, 0, 0, 0,    0,    0,    0,
                              0,    0,    0,    0,    0, 0, 0, 1, 0x9C, 0x40, 0x25, 0x80};
// A no-op entry of 3 bytes and a unique-id entry of 4.
const Bytes kEntries = {0x04, 0x00, 0x03, 0, 0, 0, 0x05, 0x00, 0x04, 'g', 'w', '-', '1'};
// The recorder's own first bytes: a link header.
const Bytes kRecorderBytes = {0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00};

struct Case
{
    const char* legend;
    Bytes bytes;
    Outcome outcome;
    std::size_t size;       // Complete: the header's bytes
    std::string source;     // Complete: the recorder's address, empty for the connection's own
    std::string reasonPart; // Bad: in the reason
    // Bad: how many bytes must have come before it can tell (the rest
    // of the prefixes need more).
    std::size_t badFrom = 0;
};

const std::vector<Case> kCases = {
    {"PROXY, TCP over IPv4, as the proxy sends it", header(0x21, 0x11, kIpv4Addresses),
     Outcome::Complete, 28, "127.0.0.2", ""},
    {"PROXY, TCP over IPv6", header(0x21, 0x21, kIpv6Addresses), Outcome::Complete, 52,
     "2001:db8::7", ""},
    {"LOCAL, no addresses: a health check keeps the proxy's address", header(0x20, 0x00, {}),
     Outcome::Complete, 16, "", ""},
    {"LOCAL with addresses: they are not looked at", header(0x20, 0x11, kIpv4Addresses),
     Outcome::Complete, 28, "", ""},
    {"PROXY, unspecified family: the connection's own address", header(0x21, 0x00, {}),
     Outcome::Complete, 16, "", ""},
    {"entries after the addresses are skipped", header(0x21, 0x11, kIpv4Addresses + kEntries),
     Outcome::Complete, 41, "127.0.0.2", ""},
    {"the recorder's bytes after the header are not taken",
     header(0x21, 0x11, kIpv4Addresses) + kRecorderBytes, Outcome::Complete, 28, "127.0.0.2", ""},

    {"a recorder's link header, no proxy: told at its first byte", kRecorderBytes, Outcome::Bad, 0,
     "", "signature", 1},
    {"a version 1 text header", Bytes{'P', 'R', 'O', 'X', 'Y', ' ', 'T', 'C', 'P', '4'},
     Outcome::Bad, 0, "", "signature", 1},
    {"signature wrong in its last byte",
     Bytes(kSignature.begin(), kSignature.end() - 1) + Bytes{0x0B}, Outcome::Bad, 0, "",
     "signature", 12},
    {"version 1 in the binary form", header(0x11, 0x11, kIpv4Addresses), Outcome::Bad, 0, "",
     "version 1", 16},
    {"command 2", header(0x22, 0x11, kIpv4Addresses), Outcome::Bad, 0, "", "command 2", 16},
    {"UDP over IPv4", header(0x21, 0x12, kIpv4Addresses), Outcome::Bad, 0, "", "not TCP", 16},
    {"a UNIX socket", header(0x21, 0x31, Bytes(216, 0)), Outcome::Bad, 0, "", "not TCP", 16},
    {"family 4, unknown", header(0x21, 0x41, kIpv4Addresses), Outcome::Bad, 0, "", "not TCP", 16},
    {"IPv4 with a length too short for its addresses", header(0x21, 0x11, Bytes(8, 1)),
     Outcome::Bad, 0, "", "too short", 16},
    {"IPv6 with IPv4's length", header(0x21, 0x21, kIpv4Addresses), Outcome::Bad, 0, "",
     "too short", 16},
    {"a length over the bound: refused before its bytes come",
     header(0x21, 0x11, kIpv4Addresses, 0xFFFF), Outcome::Bad, 0, "", "over the bound", 16},
    {"an entry running past the header's end",
     header(0x21, 0x11, kIpv4Addresses + Bytes{0x04, 0x00, 0x09, 0}), Outcome::Bad, 0, "",
     "past the header's end", 32},
    {"an entry cut short in its own head", header(0x21, 0x11, kIpv4Addresses + Bytes{0x04, 0x00}),
     Outcome::Bad, 0, "", "cut short", 30},
};

} // namespace

TEST(ProxyHeaderTest, EveryPrefixOfEveryHeaderGivesItsOutcome)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.legend);
        const ProxyHeader whole = parseProxyHeader(c.bytes);
        ASSERT_EQ(whole.outcome, c.outcome) << whole.reason;
        if (c.outcome == Outcome::Complete) {
            EXPECT_EQ(whole.size, c.size);
            EXPECT_EQ(whole.sourceAddress, c.source);
        } else {
            EXPECT_NE(whole.reason.find(c.reasonPart), std::string::npos) << whole.reason;
        }
        // Short reads: every prefix before the outcome needs more, and says
        // how many bytes in all, never past the header (a reader asks for
        // exactly that many, so it takes none of the recorder's bytes).
        const std::size_t decidedAt = c.outcome == Outcome::Complete ? c.size : c.badFrom;
        for (std::size_t n = 0; n < c.bytes.size() + 1 && n <= decidedAt; ++n) {
            const ProxyHeader part = parseProxyHeader(std::span(c.bytes).first(n));
            if (n < decidedAt) {
                ASSERT_EQ(part.outcome, Outcome::NeedMore) << n << " bytes: " << part.reason;
                EXPECT_GT(part.size, n);
                if (c.outcome == Outcome::Complete) {
                    EXPECT_LE(part.size, c.size);
                }
            } else {
                EXPECT_EQ(part.outcome, c.outcome) << n << " bytes";
            }
        }
    }
}

TEST(ProxyHeaderTest, TrustedProxiesAreAddressesAndRangesAndNothingElse)
{
    const auto proxies = kavrel::TrustedProxies::parse(
        " 127.0.0.1, 10.0.0.0/8 ,fd00::/8,,bogus, 10.0.0.0/33, 192.168.1.1/");
    const struct
    {
        const char* legend;
        const char* address;
        bool trusted;
    } cases[] = {
        {"the address itself", "127.0.0.1", true},
        {"a neighbour of a single address", "127.0.0.2", false},
        {"inside an IPv4 range", "10.200.3.4", true},
        {"just outside it", "11.0.0.0", false},
        {"inside an IPv6 range", "fd12::5", true},
        {"an IPv4-mapped IPv6 address is not the IPv4 one", "::ffff:127.0.0.1", false},
        {"an unreadable peer address", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxies.contains(c.address), c.trusted) << c.legend;
    EXPECT_EQ(proxies.describe(), "127.0.0.1, 10.0.0.0/8, fd00::/8");
    EXPECT_EQ(proxies.rejected(),
              (std::vector<std::string>{"bogus", "10.0.0.0/33", "192.168.1.1/"}));
    EXPECT_TRUE(kavrel::TrustedProxies::parse("").empty()) << "none by default";
}
