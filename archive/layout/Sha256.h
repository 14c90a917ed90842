// SHA-256 of a byte span: names that must stay distinct even when
// a peer chooses the input, such as the shortened folder names of long keys.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace archive {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(std::span<const std::uint8_t> bytes);

} // namespace archive
