// A whole packet as bytes, header then payload, for tests and raw sends that
// want to cut or join packets themselves.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace recorder {

using Bytes = std::vector<std::uint8_t>;

// Appends kavrel::encodeHeader(command, payload.size()) and the payload to out.
void appendPacket(Bytes& out, std::uint16_t command, std::span<const std::uint8_t> payload);

// The bytes of a text, unchanged (the text is already in its wire encoding).
std::span<const std::uint8_t> textBytes(std::string_view text);

} // namespace recorder
