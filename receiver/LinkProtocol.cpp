// The device link's header and acknowledgement bytes, as kavrel_link.h declares them.
#include "kavrel_link.h"

namespace kavrel {

PacketHeader decodeHeader(std::span<const std::uint8_t, kHeaderSize> b)
{
    PacketHeader h;
    h.command = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    h.size = static_cast<std::uint32_t>(b[2]) | (static_cast<std::uint32_t>(b[3]) << 8) |
             (static_cast<std::uint32_t>(b[4]) << 16) | (static_cast<std::uint32_t>(b[5]) << 24);
    h.check = static_cast<std::uint16_t>(b[6] | (b[7] << 8));
    return h;
}

std::uint8_t headerCheckValue(std::span<const std::uint8_t, kHeaderSize> b)
{
    return static_cast<std::uint8_t>(b[0] ^ b[1] ^ b[2] ^ b[3] ^ b[4] ^ b[5]);
}

bool isHeaderAccepted(std::span<const std::uint8_t, kHeaderSize> bytes)
{
    const PacketHeader h = decodeHeader(bytes);
    const std::uint8_t check = headerCheckValue(bytes);
    return h.check == check || (check == 0 && h.size != 0);
}

HeaderBytes encodeHeader(std::uint16_t command, std::uint32_t size)
{
    HeaderBytes b{static_cast<std::uint8_t>(command & 0xFF),
                  static_cast<std::uint8_t>(command >> 8),
                  static_cast<std::uint8_t>(size & 0xFF),
                  static_cast<std::uint8_t>((size >> 8) & 0xFF),
                  static_cast<std::uint8_t>((size >> 16) & 0xFF),
                  static_cast<std::uint8_t>(size >> 24),
                  0,
                  0};
    b[6] = headerCheckValue(b);
    return b;
}

AckBytes encodeAck(std::uint16_t command)
{
    return {0x00, 0x01, static_cast<std::uint8_t>(command >> 8),
            static_cast<std::uint8_t>(command & 0xFF)};
}

} // namespace kavrel
