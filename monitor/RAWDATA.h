// One queued event of the receiver library: the connection's name, the event
// code and the program's own copy of the event's data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace monitor {

// A slot of the event ring. The slot owns its data area for the life of the
// program: DataAreaSize bytes from the start, grown (never shrunk) when an event
// brings more, so that a clip is always kept whole. An event writes only its
// own bytes; the bytes beyond Length keep what earlier events left there, and
// readers go no further than Length.
struct RAWDATA
{
    static constexpr std::size_t DataAreaSize = 45001;

    // The callback's text as received: 8-bit Windows-1252 bytes, never decoded.
    std::string Key;
    std::int32_t Code = 0;
    // The event's data bytes at the start of Data; all of them.
    std::int32_t Length = 0;
    std::vector<std::uint8_t> Data = std::vector<std::uint8_t>(DataAreaSize);

    // Copies one event into the slot; text may be null (empty key). When the
    // data area cannot be grown, throws std::bad_alloc and leaves the slot as it was.
    void assign(const char* text, std::int32_t code, std::span<const std::uint8_t> data);

    std::span<const std::uint8_t> bytes() const
    {
        return {Data.data(), static_cast<std::size_t>(Length)};
    }
};

} // namespace monitor
