#include "PacketBytes.h"

#include "kavrel_link.h"

namespace recorder {

void appendPacket(Bytes& out, std::uint16_t command, std::span<const std::uint8_t> payload)
{
    const auto header = kavrel::encodeHeader(command, static_cast<std::uint32_t>(payload.size()));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
}

std::span<const std::uint8_t> textBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace recorder
