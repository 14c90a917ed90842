// Splits one connection's byte stream into packets. No sockets: the connection
// worker asks nextReadSize() how much its next read may request and feeds what
// the read brought; tests feed byte spans directly.
//
// The 8 header bytes are collected across reads, so a header split over TCP
// segments is framed like one that arrived whole. A read never needs to take
// bytes of the next packet: nextReadSize() never exceeds what the packet still
// lacks, and feed() takes no more than that from a longer span.
#pragma once

#include "LinkProtocol.h"

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace kavrel {

class PacketFramer
{
public:
    enum class Outcome
    {
        HeaderPartial,  // header bytes taken, more needed
        HeaderAccepted, // a header passed the check; its payload is expected now
        HeaderRejected, // a header failed the check and was dropped whole
        HeaderTooLarge, // a header passed the check but announces more than the limit
        PayloadPartial, // payload bytes taken, more needed
        PacketComplete, // the packet is complete: packet() holds payload + one zero byte
        Stalled,        // the header announced size 0: no byte can ever complete it
    };

    struct Step
    {
        Outcome outcome;
        std::size_t consumed; // bytes taken from the span fed
    };

    static constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
    // Packet storage up to this size (a read's worth) is kept for the
    // connection's next packet; larger storage is let go once its packet is
    // delivered, so that an idle connection never holds a large buffer.
    static constexpr std::size_t kKeptStorage = kMaxReadSize;

    explicit PacketFramer(std::uint64_t maxPacketSize = kNoLimit);

    // Bytes the next read may request: the header bytes still missing, or the
    // smaller of the payload bytes still missing and kMaxReadSize. 0 when stalled.
    std::size_t nextReadSize() const;

    // Takes bytes from the front of the span for one step of framing.
    Step feed(std::span<const std::uint8_t> bytes);

    bool headerExpected() const { return m_headerExpected; }

    // The header of the packet under way, or of the one just completed or rejected.
    const HeaderBytes& headerCopy() const { return m_header; }
    PacketHeader header() const { return decodeHeader(m_header); }

    // Payload bytes received so far for the packet under way.
    std::uint32_t receivedCount() const { return m_received; }

    // After PacketComplete: the payload followed by one zero byte. Valid until the next feed().
    std::span<const std::uint8_t> packet() const { return m_packet; }

    // Drops the completed packet's bytes. Storage up to kKeptStorage is kept for
    // the next packet; larger storage is freed. Answers the bytes freed.
    std::size_t clearPacket();

    // Frees the packet storage, whatever its size. Answers the bytes freed.
    std::size_t releaseStorage();

private:
    Step feedHeader(std::span<const std::uint8_t> bytes);
    Step feedPayload(std::span<const std::uint8_t> bytes);

    std::uint64_t m_maxPacketSize;
    HeaderBytes m_header{};
    std::size_t m_headerFilled = 0;
    bool m_headerExpected = true;
    std::uint32_t m_size = 0;
    std::uint32_t m_received = 0;
    std::vector<std::uint8_t> m_packet;
};

} // namespace kavrel
