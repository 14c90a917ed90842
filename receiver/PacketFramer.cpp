#include "PacketFramer.h"

#include <algorithm>

namespace kavrel {

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
    std::copy_n(bytes.begin(), take,
                m_header.begin() + static_cast<std::ptrdiff_t>(m_headerFilled));
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
    m_large.release();
    m_packetIsLarge = isLarge(m_size);
    return {Outcome::HeaderAccepted, take};
}

PacketFramer::Step PacketFramer::feedPayload(std::span<const std::uint8_t> bytes)
{
    if (m_size == 0)
        return {Outcome::Stalled, 0};

    const std::size_t take = std::min<std::size_t>(bytes.size(), m_size - m_received);
    const bool completes = m_received + take == m_size;
    if (m_packetIsLarge) {
        // Reserved whole from the header, backed only as far as bytes arrive.
        if (m_received == 0 && !m_large.reserve(std::size_t{m_size} + 1))
            return {Outcome::NoMemory, 0};
        if (!m_large.commit(std::size_t{m_received} + take + (completes ? 1 : 0)))
            return {Outcome::NoMemory, 0};
        std::copy_n(bytes.begin(), take, m_large.data() + m_received);
    } else {
        // Sized once, from the header, so that the buffer never grows by doubling.
        if (m_received == 0)
            m_packet.reserve(std::size_t{m_size} + 1);
        m_packet.insert(m_packet.end(), bytes.begin(),
                        bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
    m_received += static_cast<std::uint32_t>(take);
    if (!completes)
        return {Outcome::PayloadPartial, take};

    if (m_packetIsLarge)
        m_large.data()[m_size] = 0;
    else
        m_packet.push_back(0);
    m_received = 0;
    m_headerExpected = true;
    return {Outcome::PacketComplete, take};
}

std::span<const std::uint8_t> PacketFramer::packet() const
{
    if (m_packetIsLarge)
        return {m_large.data(), std::min(std::size_t{m_size} + 1, m_large.committed())};
    return m_packet;
}

std::size_t PacketFramer::clearPacket()
{
    m_packet.clear();
    const std::size_t freed = m_large.committed();
    m_large.release();
    m_packetIsLarge = false;
    return freed;
}

std::size_t PacketFramer::releaseStorage()
{
    const std::size_t freed = m_packet.capacity() + m_large.committed();
    std::vector<std::uint8_t>().swap(m_packet);
    m_large.release();
    m_packetIsLarge = false;
    return freed;
}

} // namespace kavrel
