// Which picture a clip packet carries, and its command code: one camera channel
// (257 to 260) or the four channels in one picture (240).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace recorder {

enum class ClipChannel
{
    One,
    Two,
    Three,
    Four,
    All
};

// "1", "2", "3", "4" or "all".
std::optional<ClipChannel> parseClipChannel(std::string_view text);

std::uint16_t clipCommand(ClipChannel channel);

std::string_view clipChannelName(ClipChannel channel);

} // namespace recorder
