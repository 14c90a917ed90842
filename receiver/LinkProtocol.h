// The device link's bytes: the packet header and its check, the acknowledgement,
// and the table of event codes reported to the host. No I/O here.
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
#include <string_view>

namespace kavrel {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kAckSize = 4;
// The largest read a connection asks for, and the size of its receive buffer.
inline constexpr std::size_t kMaxReadSize = 65536;

namespace EventCode {
// Packet commands.
inline constexpr std::int32_t QUVEX_INFO = 0x0000;           // device-information text
inline constexpr std::int32_t CMD_GPRMC_DATA = 0x0002;       // NMEA RMC sentence
inline constexpr std::int32_t CMD_QUVEX_TIME_EVENT = 0x0006; // event-time text
inline constexpr std::int32_t CMD_MPEG4_I_4in1 = 0x00F0;     // clip, four channels in one picture
inline constexpr std::int32_t CMD_MPEG4_I_CH1 = 0x0101;      // clip of camera channel 1
inline constexpr std::int32_t CMD_MPEG4_I_CH2 = 0x0102;
inline constexpr std::int32_t CMD_MPEG4_I_CH3 = 0x0103;
inline constexpr std::int32_t CMD_MPEG4_I_CH4 = 0x0104;
// The library's connection events; their data is the local time text.
inline constexpr std::int32_t CONNECTION_OPENED = 0xF000;
inline constexpr std::int32_t CONNECTION_CLOSED = 0xF001;
inline constexpr std::int32_t CONNECTION_TIMED_OUT = 0xF002;
inline constexpr std::int32_t DATA_RECEIVED = 0xF003;
} // namespace EventCode

// A short English name for an event code, for people reading logs and tools.
std::string_view eventName(std::int32_t code);

// True for the codes that carry a packet (every code below the connection events).
constexpr bool isPacketEvent(std::int32_t code)
{
    return code >= 0 && code < EventCode::CONNECTION_OPENED;
}

// True for the library's own connection events. A packet whose command is one
// of them is never reported under that code: the host would take it for the
// library's event (a forged "connection closed" would log a recorder out).
constexpr bool isConnectionEvent(std::int32_t code)
{
    return code >= EventCode::CONNECTION_OPENED && code <= EventCode::DATA_RECEIVED;
}

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
