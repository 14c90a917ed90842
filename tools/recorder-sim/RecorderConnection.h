// One recorder's TCP connection to a receiver: connect, send packets and check
// each 4-byte acknowledgement, or drive the byte stream by hand to test how a
// receiver copes with it (split headers, packets joined in one write, partial
// packets, a peer that closes). No protocol decisions here beyond the header and
// the expected acknowledgement; every blocking step has a named time-out.
//
// Not shared between threads: one thread owns a connection and makes every call.
// The socket is non-blocking underneath, with poll() bounding each wait, and sets
// TCP_NODELAY so that every send leaves at once as its own segment.
#pragma once

#include "FileDescriptor.h"
#include "PacketBytes.h"
#include "kavrel_link.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace recorder {

using std::chrono::milliseconds;

// The outcome of reading one acknowledgement.
struct AckRead
{
    enum class Status
    {
        Received,   // four bytes arrived
        TimedOut,   // fewer than four within the time-out
        PeerClosed, // the peer closed or reset the connection first
        Failed,     // a socket error; see error
    };
    Status status = Status::Failed;
    kavrel::AckBytes bytes{}; // the bytes that arrived, zero-filled after them
    std::size_t count = 0;    // how many of the four arrived
    std::string error;
};

// The outcome of sending one packet and waiting for its acknowledgement.
struct PacketResult
{
    enum class Outcome
    {
        Acked,       // the right four bytes came back
        AckMismatch, // four bytes came back, but not the acknowledgement of this command
        AckTimedOut, // no complete acknowledgement within the time-out
        PeerClosed,  // the peer closed the connection before acknowledging
        SendFailed,  // the packet could not be written (peer gone, not reading, or not connected)
        ReadFailed,  // a socket error while waiting for the acknowledgement
    };
    Outcome outcome = Outcome::SendFailed;
    kavrel::AckBytes expected{};
    kavrel::AckBytes received{};
    std::size_t receivedCount = 0;
    // From just before the first header byte was written to the last acknowledgement byte read.
    std::chrono::nanoseconds roundTrip{};
    std::string error; // a sentence saying what went wrong; empty when acked

    bool ok() const { return outcome == Outcome::Acked; }
};

// "00 01 01 01": bytes as spaced hex, for messages people read.
std::string hexBytes(std::span<const std::uint8_t> bytes);

class RecorderConnection
{
public:
    static constexpr milliseconds kConnectTimeout{10000};
    // A write that cannot make progress this long (the peer stopped reading) fails.
    static constexpr milliseconds kSendTimeout{10000};
    static constexpr milliseconds kAckTimeout{10000};

    RecorderConnection() = default;
    RecorderConnection(RecorderConnection&&) noexcept = default;
    RecorderConnection& operator=(RecorderConnection&&) noexcept = default;

    // Connects to host (name or dotted IPv4 address) and port. On failure,
    // lastError() says why, in words fit for a person ("connection refused ...").
    bool connect(const std::string& host, std::uint16_t port,
                 milliseconds timeout = kConnectTimeout);
    bool isOpen() const { return m_socket.valid(); }
    // Asks the system for a receive buffer of this many bytes from the next
    // connect on (0: the system's default). A small one fills after a few
    // unread acknowledgements, as a modem's would.
    void setReceiveBufferSize(int bytes) { m_receiveBufferSize = bytes; }
    // Connects from this local IPv4 address from the next connect on (empty:
    // the system's choice), as recorders behind different addresses do; any
    // 127.x.y.z address works over loopback.
    void setLocalAddress(std::string address) { m_localAddress = std::move(address); }
    void close() { m_socket.reset(); }
    // Sends end of stream (the peer reads 0 bytes) and keeps the reading side open.
    bool shutdownSend();
    const std::string& lastError() const { return m_lastError; }

    // Sends header + payload, then reads one acknowledgement and checks that it
    // is kavrel::encodeAck(command).
    PacketResult sendPacket(std::uint16_t command, std::span<const std::uint8_t> payload,
                            milliseconds ackTimeout = kAckTimeout);
    // Reads the acknowledgement of a packet of this command whose first byte
    // left at start, and checks it as sendPacket() does.
    PacketResult awaitAck(std::uint16_t command, std::chrono::steady_clock::time_point start,
                          milliseconds ackTimeout = kAckTimeout);
    // Sends header + payload and returns without reading anything.
    bool sendPacketOnly(std::uint16_t command, std::span<const std::uint8_t> payload);

    // Writes bytes as they are, in one send.
    bool sendRaw(std::span<const std::uint8_t> bytes);
    // Writes bytes in separate sends of the given sizes, in order; whatever the
    // sizes leave over goes in one last send. A gap, when given, passes between
    // sends (a pause between writes, not a way to wait for the peer).
    bool sendRawPieces(std::span<const std::uint8_t> bytes, std::span<const std::size_t> pieceSizes,
                       std::chrono::microseconds gap = std::chrono::microseconds{0});

    // Reads exactly four bytes, or says why not.
    AckRead readAck(milliseconds timeout = kAckTimeout);
    // True when no byte is waiting to be read right now (nothing unasked-for arrived).
    bool nothingPending();

    enum class CloseWait
    {
        Closed,
        TimedOut,
        Failed
    };
    // Waits until the peer closes or resets the connection, reading and keeping
    // (in received, when given) whatever arrives first.
    CloseWait waitForClose(milliseconds timeout, Bytes* received = nullptr);
    // Waits until the peer closes or resets the connection, reading nothing.
    CloseWait waitForHangUp(milliseconds timeout);

private:
    using Deadline = std::chrono::steady_clock::time_point;
    bool sendAll(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                 Deadline deadline);
    enum class Wait
    {
        Ready,
        TimedOut,
        Failed
    };
    // Waits for events on the socket until the deadline.
    Wait waitFor(short events, Deadline deadline);

    platform::FileDescriptor m_socket;
    int m_receiveBufferSize = 0;
    std::string m_localAddress;
    std::string m_peer; // "host:port", for messages
    std::string m_lastError;
};

} // namespace recorder
