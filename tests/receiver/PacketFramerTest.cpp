// Framing must not depend on how the stream is cut into reads.
#include "PacketFramer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace kavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Framed
{
    std::uint16_t command;
    Bytes packet; // payload + zero byte
    bool operator==(const Framed&) const = default;
};

void append(Bytes& stream, std::span<const std::uint8_t> bytes)
{
    stream.insert(stream.end(), bytes.begin(), bytes.end());
}

Bytes payloadOf(std::size_t size, std::mt19937& rng)
{
    Bytes p(size);
    for (auto& b : p)
        b = static_cast<std::uint8_t>(rng());
    return p;
}

// A header that fails the check: right check byte, but byte 7 set and a non-zero check value.
HeaderBytes rejectedHeader(std::uint16_t command, std::uint32_t size)
{
    auto h = encodeHeader(command, size);
    if (h[6] == 0)
        h = encodeHeader(static_cast<std::uint16_t>(command ^ 1), size);
    h[7] = 1;
    return h;
}

// A random stream of packets, with rejected headers between some of them, and the
// packets a correct framer must yield from it.
struct Stream
{
    Bytes bytes;
    std::vector<Framed> expected;
};

Stream randomStream(std::mt19937& rng, int packets, std::size_t maxSize)
{
    Stream s;
    std::uniform_int_distribution<std::size_t> size(1, maxSize);
    for (int i = 0; i < packets; ++i) {
        if (rng() % 5 == 0)
            append(s.bytes, rejectedHeader(static_cast<std::uint16_t>(rng()), 1 + rng() % 1000));
        const auto command = static_cast<std::uint16_t>(rng() % 300);
        const Bytes payload = payloadOf(size(rng), rng);
        append(s.bytes, encodeHeader(command, static_cast<std::uint32_t>(payload.size())));
        append(s.bytes, payload);
        Bytes packet = payload;
        packet.push_back(0);
        s.expected.push_back({command, packet});
    }
    return s;
}

// Feeds the stream in reads of the given sizes (the last one repeats), as a
// connection would: each read may bring less than nextReadSize() asks for, and
// bytes beyond what a step takes are fed again in the next step.
std::vector<Framed> frame(const Bytes& stream, const std::vector<std::size_t>& cuts,
                          bool honourReadSize)
{
    PacketFramer framer;
    std::vector<Framed> out;
    std::size_t pos = 0;
    std::size_t cut = 0;
    while (pos < stream.size()) {
        std::size_t n = std::min(cuts[std::min(cut++, cuts.size() - 1)], stream.size() - pos);
        if (honourReadSize)
            n = std::min(n, framer.nextReadSize());
        std::span<const std::uint8_t> read(stream.data() + pos, n);
        while (!read.empty()) {
            const auto step = framer.feed(read);
            if (step.consumed == 0)
                return out; // stalled
            if (step.outcome == PacketFramer::Outcome::PacketComplete) {
                const auto p = framer.packet();
                out.push_back({framer.header().command, Bytes(p.begin(), p.end())});
            }
            read = read.subspan(step.consumed);
            pos += step.consumed;
        }
    }
    return out;
}

std::vector<std::size_t> randomCuts(std::mt19937& rng, std::size_t max)
{
    std::vector<std::size_t> cuts(4096);
    for (auto& c : cuts)
        c = 1 + rng() % max;
    return cuts;
}

} // namespace

TEST(PacketFramer, SamePacketsForEveryCutOfManyRandomStreams)
{
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        const Stream s = randomStream(rng, 1 + static_cast<int>(rng() % 12), 300);
        const struct
        {
            const char* legend;
            std::vector<std::size_t> cuts;
        } cases[] = {
            {"single bytes", {1}},
            {"whole stream in one read", {s.bytes.size()}},
            {"random cuts up to 7", randomCuts(rng, 7)},
            {"random cuts up to 40", randomCuts(rng, 40)},
            {"random cuts up to 700", randomCuts(rng, 700)},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(frame(s.bytes, c.cuts, false), s.expected) << c.legend << ", round " << round;
            EXPECT_EQ(frame(s.bytes, c.cuts, true), s.expected)
                << c.legend << " (reads sized by the framer), round " << round;
        }
    }
}

TEST(PacketFramer, LargePayloadInSmallReadsCompletesOnce)
{
    std::mt19937 rng(7);
    Stream s;
    const Bytes big = payloadOf(200000, rng);
    append(s.bytes, encodeHeader(0x101, 200000));
    append(s.bytes, big);
    append(s.bytes, encodeHeader(2, 3));
    append(s.bytes, Bytes{'a', 'b', 'c'});
    const auto framed = frame(s.bytes, randomCuts(rng, 1500), true);
    ASSERT_EQ(framed.size(), 2u);
    EXPECT_EQ(framed[0].packet.size(), 200001u);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), framed[0].packet.begin()));
    EXPECT_EQ(framed[0].packet.back(), 0);
    EXPECT_EQ(framed[1].packet, (Bytes{'a', 'b', 'c', 0}));
}

TEST(PacketFramer, StorageHoldsWhatHasArrivedAndALargeOneIsLetGoAfterItsPacket)
{
    constexpr std::size_t kPage = 4096;
    struct Case
    {
        const char* legend;
        std::uint32_t size;
        bool large; // stored apart, held only as far as bytes have arrived, let go after
    };
    const Case cases[] = {
        {"a position: kept for the next packet", 80, false},
        {"a read's worth: kept", PacketFramer::kKeptStorage - 1, false},
        {"a clip in 997-byte reads: held as it arrives, let go", 200000, true},
    };
    for (const auto& c : cases) {
        PacketFramer f;
        f.feed(encodeHeader(0x101, c.size));
        EXPECT_EQ(f.heldBytes(), 0u) << c.legend << ": an announcement holds nothing";
        const Bytes piece(997, 'x');
        PacketFramer::Outcome last{};
        for (std::uint32_t fed = 0; fed < c.size;) {
            const auto step =
                f.feed(std::span(piece).first(std::min<std::size_t>(piece.size(), c.size - fed)));
            fed += static_cast<std::uint32_t>(step.consumed);
            last = step.outcome;
            if (c.large && fed == c.size / 2) {
                EXPECT_GE(f.heldBytes(), fed) << c.legend;
                EXPECT_LT(f.heldBytes(), fed + kPage) << c.legend << ": half sent, half held";
            }
        }
        ASSERT_EQ(last, PacketFramer::Outcome::PacketComplete) << c.legend;
        ASSERT_EQ(f.packet().size(), std::size_t{c.size} + 1) << c.legend;
        EXPECT_EQ(f.packet().back(), 0) << c.legend;
        EXPECT_TRUE(std::all_of(f.packet().begin(), f.packet().end() - 1, [](std::uint8_t b) {
            return b == 'x';
        })) << c.legend;
        const std::size_t freed = f.clearPacket();
        if (c.large) {
            EXPECT_GE(freed, std::size_t{c.size} + 1) << c.legend;
            EXPECT_LT(freed, std::size_t{c.size} + 1 + kPage) << c.legend;
        } else {
            EXPECT_EQ(freed, 0u) << c.legend;
        }
        EXPECT_EQ(f.heldBytes(), 0u) << c.legend;
        EXPECT_EQ(f.releaseStorage(), c.large ? 0 : std::size_t{c.size} + 1) << c.legend;
    }
}

TEST(PacketFramer, ReadSizeNeverExceedsWhatThePacketLacks)
{
    PacketFramer framer;
    EXPECT_EQ(framer.nextReadSize(), kHeaderSize);
    const auto h = encodeHeader(0xF0, 70000);
    EXPECT_EQ(framer.feed(std::span(h).first(5)).outcome, PacketFramer::Outcome::HeaderPartial);
    EXPECT_EQ(framer.nextReadSize(), 3u) << "a split header asks only for its missing bytes";
    EXPECT_EQ(framer.feed(std::span(h).subspan(5)).outcome, PacketFramer::Outcome::HeaderAccepted);
    EXPECT_EQ(framer.nextReadSize(), kMaxReadSize);
    Bytes chunk(kMaxReadSize, 1);
    EXPECT_EQ(framer.feed(chunk).outcome, PacketFramer::Outcome::PayloadPartial);
    EXPECT_EQ(framer.nextReadSize(), 70000 - kMaxReadSize);
    EXPECT_EQ(framer.receivedCount(), kMaxReadSize);
}

TEST(PacketFramer, HeaderCornerCases)
{
    using O = PacketFramer::Outcome;
    {
        SCOPED_TRACE("a rejected header is dropped whole and the next 8 bytes are a header");
        PacketFramer f;
        const auto bad = rejectedHeader(2, 4);
        EXPECT_EQ(f.feed(bad).outcome, O::HeaderRejected);
        EXPECT_TRUE(f.headerExpected());
        EXPECT_EQ(f.nextReadSize(), kHeaderSize);
        EXPECT_EQ(f.feed(encodeHeader(2, 1)).outcome, O::HeaderAccepted);
    }
    {
        SCOPED_TRACE("size 0 never completes a packet and takes no bytes");
        PacketFramer f;
        EXPECT_EQ(f.feed(encodeHeader(0, 0)).outcome, O::HeaderAccepted);
        EXPECT_EQ(f.nextReadSize(), 0u);
        const Bytes more{1, 2, 3};
        const auto step = f.feed(more);
        EXPECT_EQ(step.outcome, O::Stalled);
        EXPECT_EQ(step.consumed, 0u);
    }
    {
        SCOPED_TRACE("a header announcing more than the limit");
        PacketFramer f(1000);
        EXPECT_EQ(f.feed(encodeHeader(0x101, 1001)).outcome, O::HeaderTooLarge);
        EXPECT_EQ(f.header().size, 1001u);
        PacketFramer g(1000);
        EXPECT_EQ(g.feed(encodeHeader(0x101, 1000)).outcome, O::HeaderAccepted);
    }
    {
        SCOPED_TRACE("the reference header 00 00 10 00 00 00 10 00: 16 bytes complete the packet");
        PacketFramer f;
        const HeaderBytes h{0, 0, 0x10, 0, 0, 0, 0x10, 0};
        EXPECT_EQ(f.feed(h).outcome, O::HeaderAccepted);
        const Bytes payload(16, 'x');
        EXPECT_EQ(f.feed(std::span(payload).first(15)).outcome, O::PayloadPartial);
        EXPECT_EQ(f.feed(std::span(payload).subspan(15)).outcome, O::PacketComplete);
        EXPECT_EQ(f.packet().size(), 17u);
    }
}
