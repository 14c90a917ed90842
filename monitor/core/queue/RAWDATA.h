// One queued event of the receiver library: the connection's name, the event
// code and the program's own copy of the event's data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace monitor {

// A slot of the event ring. The slot owns its base data area of DataAreaSize
// bytes for the life of the program. An event that brings more gets a grown
// area of its own, so that a clip is always kept whole; shrinkToBase() frees
// it once the event has been taken, so a long clip pins no memory afterwards.
// An event writes only its own bytes; the bytes beyond Length keep what
// earlier events left there, and readers go no further than Length.
struct RAWDATA
{
    static constexpr std::size_t DataAreaSize = 45001;

    // The callback's text as received: 8-bit Windows-1252 bytes, never decoded.
    std::string Key;
    std::int32_t Code = 0;
    // The connection that reported the event: a number that names one of the
    // library's connections for the life of the program, never reused; 0 for
    // an event that no connection reported (tests).
    std::uint64_t Connection = 0;
    // The dotted address of that connection's peer, as its opening event told
    // it; empty when none was told (tests, or the connection opened before
    // the queue existed).
    std::string Address;
    // The event's data bytes at the start of Data; all of them.
    std::int32_t Length = 0;
    std::vector<std::uint8_t> Data = std::vector<std::uint8_t>(DataAreaSize);
    // The event's number in the station's journal; 0 when it was not journaled.
    std::uint64_t JournalId = 0;

    // Copies one event into the slot; text may be null (empty key). When the
    // data area cannot be grown, throws std::bad_alloc and leaves the slot as it was.
    void assign(const char* text, std::int32_t code, std::span<const std::uint8_t> data,
                std::uint64_t connection = 0);

    // Back to the base data area: a grown area is freed, with the event that
    // needed it (Length becomes 0). Allocates nothing.
    void shrinkToBase() noexcept;

    std::span<const std::uint8_t> bytes() const
    {
        return {Data.data(), static_cast<std::size_t>(Length)};
    }

private:
    // The base area, kept aside while Data is a grown one; empty otherwise.
    std::vector<std::uint8_t> m_baseArea;
};

} // namespace monitor
