// Serves one recorder connection from start to end, on a thread of its own:
// reports the opening, reads with the silence limit, frames packets, writes raw
// packet files when asked to, delivers and acknowledges each packet, and
// reports the time-out and the end. Every step writes its diagnostic line.
//
// Against peers that hold a connection without serving a recorder: a header
// must be complete within the silence limit from its first byte; a large
// payload, which holds packet memory, must keep the payload rate floor (a
// small one is bound, like any read, by the silence limit alone); and the
// bytes of a large payload are taken into the packet only once the packet
// memory has granted them, read by read (the wait for it is bounded by the
// silence limit; the bytes read wait meanwhile in the connection's receive
// buffer).
//
// Threads: all state of a connection lives in this object and is touched only by
// its worker thread. Shared with the library: the core (read-only settings,
// atomic `Stopping` and callback) and the WorkerStatus through which the
// listener's deactivation sees whether the worker has ended or sits in the
// host's callback.
#pragma once

#include "ClientSocket.h"
#include "DeviceRecord.h"
#include "PacketFramer.h"
#include "PacketMemory.h"
#include "ReceiverCore.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace kavrel {

// Where workers announce that they entered or left the host's callback or
// ended; the listener's deactivation waits on it. Shared, so that a worker that
// outlives its listener still has it.
struct WorkerBoard
{
    std::mutex mutex;
    std::condition_variable changed;
};

// What the listener knows of a running worker. Written by the worker, read by
// the deactivating thread.
struct WorkerStatus
{
    std::atomic<bool> terminated{false}; // set by the listener: end this worker
    std::atomic<bool> inCallback{false}; // the worker is inside the host's callback
    std::atomic<bool> finished{false};   // the worker has returned
    std::atomic<bool> loggedIn{false};   // its device record has been acknowledged
    std::shared_ptr<WorkerBoard> board;  // may be empty (tests drive a worker alone)

    void announce() const;
};

class ConnectionWorker
{
public:
    ConnectionWorker(std::shared_ptr<ReceiverCore> core, ClientSocket& socket,
                     WorkerStatus& status);

    // The connection's whole life; returns when the connection is finished.
    void ServerSocket1ThreadStart();

private:
    using SteadyClock = std::chrono::steady_clock;
    // Why a wait for data ended.
    enum class Wait
    {
        Data,
        Silence,
        SlowHeader,
        SlowPayload
    };

    Wait waitForData();
    bool keepsPayloadRate(SteadyClock::time_point now); // false: the payload is too slow
    bool takePacketMemory(std::uint64_t bytes);         // false: not granted
    bool takeMemoryForRead(std::size_t count);          // false: leave the loop
    // Logs why with its figures, reports the time-out and closes the socket.
    void endSlowPeer(std::string_view why, std::string_view figures = {});
    void endSlowPayload(); // a large payload below the rate floor over its window
    void reportConnectionEvent(std::int32_t code);
    void report(std::int32_t code, std::span<const std::uint8_t> data);
    bool handleRead(std::size_t count); // false: leave the loop
    bool completePacket();              // false: leave the loop
    void saveRawFile();
    void timeOut();
    void LogLine(std::string_view text) { m_core->LogLine(text); }
    std::string now() const;

    std::shared_ptr<ReceiverCore> m_core;
    ClientSocket& m_socket;
    WorkerStatus& m_status;

    std::string m_address;
    QUVEX_INFO m_record;
    PacketFramer m_framer;
    std::array<std::uint8_t, kMaxReadSize> m_receiveBuffer{};
    std::string m_lastTimeText; // time text of the latest connection event

    bool m_headerStarted = false; // some bytes of a header have arrived
    SteadyClock::time_point m_headerDeadline;
    bool m_largePayloadStarted = false; // a large payload is under way: the rate floor counts
    SteadyClock::time_point m_rateWindowEnd;
    std::uint64_t m_rateWindowBytes = 0;
    PacketMemory::Share m_packetMemory; // the large packet under way's share of the budget
};

} // namespace kavrel
