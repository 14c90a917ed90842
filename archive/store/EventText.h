// The text of a queued event: its data up to the first zero byte, never beyond
// its Length. Every packet's data ends in a zero byte that Length counts; data
// without one (a connection event's time text) is taken whole.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace monitor {

inline std::string_view EventText(std::span<const std::uint8_t> data)
{
    std::size_t n = 0;
    while (n < data.size() && data[n] != 0)
        ++n;
    return {reinterpret_cast<const char*>(data.data()), n};
}

// The event time of an event-time record: its text up to, not including, the
// first ","; empty when the text holds no comma.
inline std::string_view EventTimeOf(std::string_view text)
{
    const std::size_t comma = text.find(',');
    return comma == std::string_view::npos ? std::string_view{} : text.substr(0, comma);
}

} // namespace monitor
