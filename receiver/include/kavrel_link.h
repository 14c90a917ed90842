// The device link's bytes, as a recorder and the receiver both speak them: the
// packet header and its check, and the acknowledgement. No I/O here.
//
// Header, 8 bytes, little-endian:
//   0  u16  command
//   2  u32  size     payload bytes that follow the header
//   6  u16  check    byte 6 = XOR of bytes 0..5, byte 7 = 0
// Acknowledgement, 4 bytes: 00 01, then the command code high byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kavrel {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kAckSize = 4;
// The largest payload the library ever accepts, whatever its settings say
// (MAX_PACKET_SIZE is at most this): the callback's signed 32-bit length must
// hold the payload and its zero byte.
inline constexpr std::int32_t kMaxPacketSizeCeiling = 0x7FFFFFFF - 1;

struct PacketHeader
{
    std::uint16_t command = 0;
    std::uint32_t size = 0;
    std::uint16_t check = 0;
};

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;
using AckBytes = std::array<std::uint8_t, kAckSize>;

PacketHeader decodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes);

// The XOR of header bytes 0 to 5.
std::uint8_t headerCheckValue(std::span<const std::uint8_t, kHeaderSize> bytes);

// Accepted when the check word equals the check value, or when the check value
// is 0 and size is not 0, whatever bytes 6 and 7 hold.
bool isHeaderAccepted(std::span<const std::uint8_t, kHeaderSize> bytes);

// A header with a correct check word, as a recorder sends it.
HeaderBytes encodeHeader(std::uint16_t command, std::uint32_t size);

AckBytes encodeAck(std::uint16_t command);

} // namespace kavrel
