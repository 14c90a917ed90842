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
    unsigned dials = 0;
    unsigned failedDials = 0;
    unsigned served = 0;
    std::chrono::nanoseconds lastServedAfter{}; // from the start to the last recorder served
    unsigned neverReading = 0;                  // recorders that never read acknowledgements
    unsigned closedByReceiver = 0;              // of those, the ones the receiver ended
    RoundTripStats heldFor;                     // their time from connect to the receiver's close

    static SimSummary from(const std::vector<SessionReport>& reports,
                           SessionReport::TimePoint start, SessionReport::TimePoint end,
                           bool neverRead);

    // True when every packet went out and, unless acks were not awaited, came back acknowledged.
    bool clean(bool acksAwaited) const;

    std::string format(bool acksAwaited) const;
};

} // namespace recorder
