// The packet framer over any byte stream, cut into reads of any sizes: the
// packets found, the headers rejected and where framing stops must not depend
// on the cuts, so the stream is framed whole and cut, and both must agree.
//
// Input: one byte that chooses the size limit and the cuts, then the stream.
//   bit 7     the limit: 4096 bytes, or 16 MiB (beyond any input; a packet's
//             storage is its announced size, taken with its first payload byte)
//   bits 3-6  the seed of the cut sizes
//   bits 0-2  the largest cut: 1 << n bytes
#include "FuzzCheck.h"
#include "PacketFramer.h"

#include <cstdint>
#include <span>
#include <vector>

using kavrel::PacketFramer;

namespace {

constexpr std::uint64_t kSmallLimit = 4096;
constexpr std::uint64_t kLargeLimit = 16u << 20;

struct Framed
{
    enum class End
    {
        Open,     // every byte framed; more may come
        TooLarge, // a header announced more than the limit: the connection ends
        Stalled,  // a header announced size 0: nothing can complete it
        NoMemory, // the system gave no storage for the packet: the connection ends
    };
    std::vector<std::vector<std::uint8_t>> packets; // header bytes, payload, zero byte
    int rejected = 0;
    End end = End::Open;
    bool headerExpected = true;
    std::uint32_t received = 0;

    bool operator==(const Framed&) const = default;
};

// One read, fed step by step as the connection does. False once framing stops.
bool feedRead(PacketFramer& framer, std::span<const std::uint8_t> read, Framed& out)
{
    while (!read.empty()) {
        const std::size_t wanted = framer.nextReadSize();
        const PacketFramer::Step step = framer.feed(read);
        FUZZ_CHECK(step.consumed <= read.size());
        FUZZ_CHECK(step.consumed <= wanted);
        read = read.subspan(step.consumed);
        switch (step.outcome) {
        case PacketFramer::Outcome::PacketComplete: {
            const auto packet = framer.packet();
            FUZZ_CHECK(packet.size() == std::size_t{framer.header().size} + 1);
            FUZZ_CHECK(packet.back() == 0);
            std::vector<std::uint8_t> whole(framer.headerCopy().begin(), framer.headerCopy().end());
            whole.insert(whole.end(), packet.begin(), packet.end());
            out.packets.push_back(std::move(whole));
            framer.clearPacket();
            break;
        }
        case PacketFramer::Outcome::HeaderRejected:
            ++out.rejected;
            break;
        case PacketFramer::Outcome::HeaderTooLarge:
            out.end = Framed::End::TooLarge;
            return false;
        case PacketFramer::Outcome::Stalled:
            FUZZ_CHECK(step.consumed == 0 && wanted == 0);
            out.end = Framed::End::Stalled;
            return false;
        case PacketFramer::Outcome::NoMemory:
            FUZZ_CHECK(step.consumed == 0);
            out.end = Framed::End::NoMemory;
            return false;
        case PacketFramer::Outcome::HeaderPartial:
        case PacketFramer::Outcome::HeaderAccepted:
        case PacketFramer::Outcome::PayloadPartial:
            FUZZ_CHECK(step.consumed > 0);
            break;
        }
    }
    return true;
}

void finish(const PacketFramer& framer, Framed& out)
{
    out.headerExpected = framer.headerExpected();
    out.received = framer.receivedCount();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t mode = data[0];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    const std::uint64_t limit = (mode & 0x80) != 0 ? kLargeLimit : kSmallLimit;

    Framed whole;
    {
        PacketFramer framer(limit);
        feedRead(framer, stream, whole);
        finish(framer, whole);
    }

    Framed cut;
    {
        PacketFramer framer(limit);
        const std::size_t largestCut = std::size_t{1} << (mode & 0x07);
        std::uint32_t state = 0x9E3779B9u ^ (mode >> 3); // xorshift: the cut sizes
        std::size_t at = 0;
        while (at < stream.size()) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const std::size_t n = std::min(stream.size() - at, 1 + state % largestCut);
            if (!feedRead(framer, stream.subspan(at, n), cut))
                break;
            at += n;
        }
        finish(framer, cut);
    }

    FUZZ_CHECK(whole == cut);
    return 0;
}
