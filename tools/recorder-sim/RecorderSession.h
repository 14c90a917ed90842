// One simulated recorder from connect to close: device information first, then
// per round its position sentences, event-time records and clips, each packet
// checked against its acknowledgement. What happened is counted in a report
// that belongs to the session's thread until the thread has been joined.
#pragma once

#include "RoundTripStats.h"
#include "SimOptions.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace recorder {

struct SessionReport
{
    static constexpr std::size_t kMaxErrorTexts = 3;

    unsigned index = 0;
    std::string key; // UTF-8, for people
    bool connected = false;
    std::uint64_t packetsSent = 0;
    std::uint64_t bytesSent = 0;   // headers and payloads
    std::uint64_t acksChecked = 0; // acknowledgements that arrived and were right
    std::uint64_t errors = 0;
    std::vector<std::string> errorTexts; // the first few, in order
    RoundTripStats roundTrips;
    // Clip packets, for the throughput figure: their bytes, and the time they
    // took (with acknowledgements, the sum of their send-to-ack times; without,
    // from the first clip's first byte to the receiver's close).
    std::uint64_t clipBytes = 0;
    std::chrono::nanoseconds clipTime{};

    void fail(std::string text);
};

class RecorderSession
{
public:
    // clip: the clip file's bytes, shared read-only by every session; empty for none.
    // track: the position sentences to send, in turn and from the first again
    // when used up, shared read-only too; empty for positions along a route.
    RecorderSession(const SimOptions& options, unsigned index, std::span<const std::uint8_t> clip,
                    std::span<const std::string> track = {});

    SessionReport run(std::stop_token stop);

private:
    const SimOptions& m_options;
    unsigned m_index;
    std::span<const std::uint8_t> m_clip;
    std::span<const std::string> m_track;
};

} // namespace recorder
