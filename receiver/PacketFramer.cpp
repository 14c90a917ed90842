#include "PacketFramer.h"

#include <algorithm>

namespace kavrel {

namespace {
// Storage reserved up front for a packet; larger ones grow as their bytes arrive,
// so a header alone never makes the station allocate what it announces.
constexpr std::size_t kInitialReserve = 1u << 20;
} // namespace

PacketFramer::PacketFramer(std::uint64_t maxPacketSize) : m_maxPacketSize(maxPacketSize) {}

std::size_t PacketFramer::nextReadSize() const
{
    if (m_headerExpected)
        return kHeaderSize - m_headerFilled;
    return std::min<std::size_t>(m_size - m_received, kMaxReadSize);
}

PacketFramer::Step PacketFramer::feed(std::span<const std::uint8_t> bytes)
{
    return m_headerExpected ? feedHeader(bytes) : feedPayload(bytes);
}

PacketFramer::Step PacketFramer::feedHeader(std::span<const std::uint8_t> bytes)
{
    const std::size_t take = std::min(bytes.size(), kHeaderSize - m_headerFilled);
    std::copy_n(bytes.begin(), take, m_header.begin() + static_cast<std::ptrdiff_t>(m_headerFilled));
    m_headerFilled += take;
    if (m_headerFilled < kHeaderSize)
        return {Outcome::HeaderPartial, take};

    m_headerFilled = 0;
    m_received = 0;
    if (!isHeaderAccepted(m_header))
        return {Outcome::HeaderRejected, take};

    const PacketHeader h = header();
    m_size = h.size;
    if (h.size > m_maxPacketSize)
        return {Outcome::HeaderTooLarge, take};

    m_headerExpected = false;
    m_packet.clear();
    m_packet.reserve(std::min<std::size_t>(std::size_t{h.size} + 1, kInitialReserve));
    return {Outcome::HeaderAccepted, take};
}

PacketFramer::Step PacketFramer::feedPayload(std::span<const std::uint8_t> bytes)
{
    if (m_size == 0)
        return {Outcome::Stalled, 0};

    const std::size_t take = std::min<std::size_t>(bytes.size(), m_size - m_received);
    m_packet.insert(m_packet.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    m_received += static_cast<std::uint32_t>(take);
    if (m_received < m_size)
        return {Outcome::PayloadPartial, take};

    m_packet.push_back(0);
    m_received = 0;
    m_headerExpected = true;
    return {Outcome::PacketComplete, take};
}

} // namespace kavrel
