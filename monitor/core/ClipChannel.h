// The camera channel that a clip event's code names, as archive names and the
// caption show it.
#pragma once

#include "LinkProtocol.h"

#include <cstdint>
#include <string_view>

namespace monitor {

// "ALL" for the four-in-one picture, "1" to "4" for one channel; empty for any
// other code.
constexpr std::string_view clipChannel(std::int32_t code)
{
    using namespace kavrel::EventCode;
    switch (code) {
    case CMD_MPEG4_I_4in1:
        return "ALL";
    case CMD_MPEG4_I_CH1:
        return "1";
    case CMD_MPEG4_I_CH2:
        return "2";
    case CMD_MPEG4_I_CH3:
        return "3";
    case CMD_MPEG4_I_CH4:
        return "4";
    default:
        return {};
    }
}

} // namespace monitor
