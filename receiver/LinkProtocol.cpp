#include "LinkProtocol.h"

namespace kavrel {

std::string_view eventName(std::int32_t code)
{
    switch (code) {
    case EventCode::QUVEX_INFO: return "QUVEX_INFO";
    case EventCode::CMD_GPRMC_DATA: return "CMD_GPRMC_DATA";
    case EventCode::CMD_QUVEX_TIME_EVENT: return "CMD_QUVEX_TIME_EVENT";
    case EventCode::CMD_MPEG4_I_4in1: return "CMD_MPEG4_I_4in1";
    case EventCode::CMD_MPEG4_I_CH1: return "CMD_MPEG4_I_CH1";
    case EventCode::CMD_MPEG4_I_CH2: return "CMD_MPEG4_I_CH2";
    case EventCode::CMD_MPEG4_I_CH3: return "CMD_MPEG4_I_CH3";
    case EventCode::CMD_MPEG4_I_CH4: return "CMD_MPEG4_I_CH4";
    case EventCode::CONNECTION_OPENED: return "CONNECTION_OPENED";
    case EventCode::CONNECTION_CLOSED: return "CONNECTION_CLOSED";
    case EventCode::CONNECTION_TIMED_OUT: return "CONNECTION_TIMED_OUT";
    case EventCode::DATA_RECEIVED: return "DATA_RECEIVED";
    default: return "UNKNOWN";
    }
}

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
