// Which picture a clip packet carries, and its command code: one camera channel
// (257 to 260) or the four channels in one picture (240).
#pragma once

#include "kavrel_events.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace recorder {

// Each channel is its clip command.
enum class ClipChannel : std::uint16_t
{
    One = kavrel::EventCode::CMD_MPEG4_I_CH1,
    Two = kavrel::EventCode::CMD_MPEG4_I_CH2,
    Three = kavrel::EventCode::CMD_MPEG4_I_CH3,
    Four = kavrel::EventCode::CMD_MPEG4_I_CH4,
    All = kavrel::EventCode::CMD_MPEG4_I_4in1
};

// "1", "2", "3", "4" or "all".
std::optional<ClipChannel> parseClipChannel(std::string_view text);

std::uint16_t clipCommand(ClipChannel channel);

std::string_view clipChannelName(ClipChannel channel);

} // namespace recorder
