#include "ClipChannel.h"

#include <algorithm>
#include <array>

namespace recorder {

namespace {

constexpr std::array kChannels{ClipChannel::One, ClipChannel::Two, ClipChannel::Three,
                               ClipChannel::Four, ClipChannel::All};

// The four-in-one picture is "all" on the simulator's command line, "ALL" in
// the event table.
constexpr std::string_view kAll = "all";

} // namespace

std::optional<ClipChannel> parseClipChannel(std::string_view text)
{
    const auto found = std::find_if(kChannels.begin(), kChannels.end(),
                                    [text](ClipChannel c) { return clipChannelName(c) == text; });
    if (found == kChannels.end())
        return std::nullopt;
    return *found;
}

std::uint16_t clipCommand(ClipChannel channel)
{
    return static_cast<std::uint16_t>(channel);
}

std::string_view clipChannelName(ClipChannel channel)
{
    return channel == ClipChannel::All ? kAll : kavrel::clipChannel(clipCommand(channel));
}

} // namespace recorder
