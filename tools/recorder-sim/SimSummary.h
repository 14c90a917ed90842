// Adds up the sessions' reports and writes the closing summary.
#pragma once

#include "RecorderSession.h"

#include <chrono>
#include <string>
#include <vector>

namespace recorder {

struct SimSummary
{
    unsigned recorders = 0;
    unsigned connected = 0;
    std::uint64_t packetsSent = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t acksChecked = 0;
    std::uint64_t errors = 0;
    std::vector<std::string> errorTexts;
    RoundTripStats roundTrips;
    std::vector<double> clipBytesPerSecond; // one per connection that sent clips
    std::chrono::nanoseconds elapsed{};

    static SimSummary from(const std::vector<SessionReport>& reports,
                           std::chrono::nanoseconds elapsed);

    // True when every packet went out and, unless acks were not awaited, came back acknowledged.
    bool clean(bool acksAwaited) const;

    std::string format(bool acksAwaited) const;
};

} // namespace recorder
