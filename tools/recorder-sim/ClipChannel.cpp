#include "ClipChannel.h"

#include "LinkProtocol.h"

namespace recorder {

std::optional<ClipChannel> parseClipChannel(std::string_view text)
{
    if (text == "1")
        return ClipChannel::One;
    if (text == "2")
        return ClipChannel::Two;
    if (text == "3")
        return ClipChannel::Three;
    if (text == "4")
        return ClipChannel::Four;
    if (text == "all")
        return ClipChannel::All;
    return std::nullopt;
}

std::uint16_t clipCommand(ClipChannel channel)
{
    using namespace kavrel::EventCode;
    switch (channel) {
    case ClipChannel::One:
        return CMD_MPEG4_I_CH1;
    case ClipChannel::Two:
        return CMD_MPEG4_I_CH2;
    case ClipChannel::Three:
        return CMD_MPEG4_I_CH3;
    case ClipChannel::Four:
        return CMD_MPEG4_I_CH4;
    case ClipChannel::All:
        return CMD_MPEG4_I_4in1;
    }
    return CMD_MPEG4_I_4in1;
}

std::string_view clipChannelName(ClipChannel channel)
{
    switch (channel) {
    case ClipChannel::One:
        return "1";
    case ClipChannel::Two:
        return "2";
    case ClipChannel::Three:
        return "3";
    case ClipChannel::Four:
        return "4";
    case ClipChannel::All:
        return "all";
    }
    return "all";
}

} // namespace recorder
