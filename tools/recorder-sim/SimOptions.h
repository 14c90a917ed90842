// The simulator's command line: what to send, to whom, how often.
#pragma once

#include "ClipChannel.h"
#include "DeviceInfoText.h"
#include "ParseResult.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace recorder {

struct SimOptions
{
    std::string host = "127.0.0.1";
    std::uint16_t port = 9600;
    unsigned recorders = 1;
    unsigned positions = 10; // GPRMC sentences per recorder and round
    unsigned events = 0;     // event-time records per recorder and round
    unsigned eventBytes =
        0; // a hostile peer's event time: this many bytes before the comma; 0: a real one
    std::string clipPath;  // empty: no clips
    std::string trackPath; // empty: positions along a made-up route
    ClipChannel channel = ClipChannel::One;
    unsigned clips = 1;                    // clip packets per recorder and round, with --clip
    unsigned repeat = 1;                   // rounds of positions, events and clips
    std::chrono::milliseconds interval{0}; // pause between packets of one recorder
    std::chrono::milliseconds ramp{0};     // connection starts spread evenly over this time
    std::chrono::milliseconds ackTimeout{10000};
    bool noAck = false; // stream without waiting; check late acks at the end
    bool quiet = false; // summary only
    // Load runs: dialling as a recorder does, and peers that misbehave.
    unsigned dials = 1;                           // connect attempts per recorder
    std::chrono::milliseconds dialTimeout{10000}; // how long one attempt waits for an answer
    std::chrono::milliseconds redialDelay{1000};  // pause before the next attempt
    std::chrono::milliseconds hold{0};            // stay connected and silent after the last packet
    bool neverRead = false;                       // never read an acknowledgement
    std::chrono::milliseconds trickle{0};         // send packets one byte at a time, this far apart
    unsigned trickleBytes = 1;                    // bytes per step of a trickle
    bool unfinished = false; // send each clip but its last byte, then wait for the receiver to end
    std::string bindAddress; // connect from this local address; empty: the system's choice
    // Device-information fields in UTF-8; with more than one recorder, the
    // serial gets "-" and the recorder's number appended, so keys differ.
    DeviceInfo device{{"SIM", "SIM", "127.0.0.1", "Depot", "Driver", "Route", "1"}};
};

struct ParsedOptions : toolcli::ParseResult
{
    SimOptions options;
};

// args: the arguments after the program name.
ParsedOptions parseSimOptions(std::span<const std::string_view> args);

std::string simUsage(std::string_view program);

// The device information of recorder index (0-based) of options.recorders.
DeviceInfo deviceForRecorder(const SimOptions& options, unsigned index);

} // namespace recorder
