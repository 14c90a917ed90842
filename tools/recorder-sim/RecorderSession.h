// One simulated recorder from connect to close: device information first, then
// per round its position sentences, event-time records and clips, each packet
// checked against its acknowledgement. For load runs it dials again as a real
// recorder does, and can misbehave: trickle its bytes, never read, or stay
// connected and silent. What happened is counted in a report that belongs to
// the session's thread until the thread has been joined.
#pragma once

#include "RecorderConnection.h"
#include "RoundTripStats.h"
#include "SimOptions.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace recorder {

struct SessionReport
{
    static constexpr std::size_t kMaxErrorTexts = 3;
    using TimePoint = std::chrono::steady_clock::time_point;

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
    // Dialling: attempts made, and those that failed, went unanswered or ended
    // before the device information was acknowledged.
    unsigned dials = 0;
    unsigned failedDials = 0;
    // When the device information was acknowledged (sent, when acknowledgements are not read).
    std::optional<TimePoint> servedAt;
    // A recorder that never reads: whether the receiver ended its connection, and when.
    bool closedByReceiver = false;
    std::chrono::nanoseconds heldFor{}; // from connect to the receiver's close

    void fail(std::string text);
};

class RecorderSession
{
public:
    // How long a recorder that never reads waits for the receiver to end its
    // connection when --hold does not say.
    static constexpr std::chrono::minutes kNeverReadWait{10};

    // clip: the clip file's bytes, shared read-only by every session; empty for none.
    // track: the position sentences to send, in turn and from the first again
    // when used up, shared read-only too; empty for positions along a route.
    RecorderSession(const SimOptions& options, unsigned index, std::span<const std::uint8_t> clip,
                    std::span<const std::string> track = {});

    SessionReport run(std::stop_token stop);

private:
    struct Packet
    {
        std::uint16_t command;
        std::span<const std::uint8_t> payload;
        bool clip;
    };
    // What became of one packet on the wire.
    struct Outcome
    {
        bool sent = false;
        bool acked = false;
        std::string error;
        std::chrono::nanoseconds roundTrip{};
    };

    bool awaitsAcks() const { return !m_options.noAck && !m_options.neverRead; }
    // Connects and gets the device information through, dialling again as allowed.
    bool dial(const Packet& deviceInfo);
    // Waits out the pause between packets before the next one is made, so that
    // a time written into it is the time it is sent; false: stop sending.
    bool awaitTurn();
    // Sends one packet, after the pause unless awaitTurn() has waited it out;
    // false: stop sending.
    bool send(const Packet& p);
    Outcome transmit(const Packet& p);
    PacketResult trickle(const Packet& p);
    bool record(const Packet& p, const Outcome& o);
    void sendRounds();
    void checkLateAcks();
    void waitForReceiverToEnd();

    const SimOptions& m_options;
    unsigned m_index;
    std::span<const std::uint8_t> m_clip;
    std::span<const std::string> m_track;

    // State of the run under way.
    std::stop_token m_stop;
    SessionReport m_report;
    RecorderConnection m_connection;
    SessionReport::TimePoint m_connectedAt{};
    std::vector<std::uint16_t> m_unackedCommands; // sent without waiting, in order
    SessionReport::TimePoint m_firstClipStart{};
    bool m_firstPacket = true;
    bool m_turnAwaited = false; // the pause before the next packet is over
};

} // namespace recorder
