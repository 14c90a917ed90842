// Splits one connection's byte stream into packets. No sockets: the connection
// worker asks nextReadSize() how much its next read may request and feeds what
// the read brought; tests feed byte spans directly.
//
// The 8 header bytes are collected across reads, so a header split over TCP
// segments is framed like one that arrived whole. A read never needs to take
// bytes of the next packet: nextReadSize() never exceeds what the packet still
// lacks, and feed() takes no more than that from a longer span.
//
// A packet's storage holds only what has arrived: a small packet goes into a
// buffer kept for the connection's next one; a large one into address space
// reserved from its header and backed by memory page by page as its bytes come,
// so that a peer announcing a large packet holds no more than it has sent.
#pragma once

#include "LinkProtocol.h"
#include "ReservedMemory.h"

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
        NoMemory,       // the system could not give the packet's storage: nothing was taken
    };

    struct Step
    {
        Outcome outcome;
        std::size_t consumed; // bytes taken from the span fed
    };

    static constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
    // Packets up to this size with their zero byte (a read's worth) are stored
    // in a buffer kept for the connection's next packet; larger ones in storage
    // of their own, let go once the packet is delivered, so that an idle
    // connection never holds a large buffer.
    static constexpr std::size_t kKeptStorage = kMaxReadSize;

    // True when a packet of this payload size is stored in storage of its own.
    static constexpr bool isLarge(std::uint32_t size)
    {
        return std::size_t{size} + 1 > kKeptStorage;
    }

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
    std::span<const std::uint8_t> packet() const;

    // Memory that the packet under way holds: what has arrived of a large
    // packet, rounded up to whole pages; 0 for a small one.
    std::size_t heldBytes() const { return m_large.committed(); }

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
    std::vector<std::uint8_t> m_packet; // a small packet's bytes
    platform::ReservedMemory m_large;   // a large packet's bytes
    bool m_packetIsLarge = false;
};

} // namespace kavrel
