// A small receiver for tests on 127.0.0.1: accepts connections one after the
// other on an ephemeral port, frames packets and answers them as told, so that
// the client's handling of right, wrong and missing acknowledgements can be
// checked without the real library.
//
// Threads: the server's own jthread accepts and serves; the test's thread reads
// the record through packets()/bytesReceived(), which take m_mutex. The thread
// stops on destruction (stop token, bounded poll), never detached.
#pragma once

#include "FileDescriptor.h"
#include "kavrel_link.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace recorder {

class TestAckServer
{
public:
    enum class Mode
    {
        Ack,              // the right acknowledgement for every packet
        WrongAck,         // 00 01 then the command's bytes in header order (low byte first)
        CloseWithoutAck,  // closes the connection after the first complete packet
        HalfAckThenClose, // two bytes of the acknowledgement, then close
        Silent,           // frames packets, answers nothing
        Sink,             // reads and discards bytes, answers nothing
    };

    struct Packet
    {
        std::uint16_t command;
        std::vector<std::uint8_t> payload;
    };

    explicit TestAckServer(Mode mode);
    ~TestAckServer();

    std::uint16_t port() const { return m_port; }

    std::vector<Packet> packets() const;
    std::uint64_t bytesReceived() const;
    // Waits until count packets were framed, at most timeout; true when they were.
    bool waitForPackets(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void serve(std::stop_token stop);
    void serveConnection(int fd, std::stop_token stop);

    const Mode m_mode;
    platform::FileDescriptor m_listener;
    std::uint16_t m_port = 0;

    mutable std::mutex m_mutex; // guards m_packets and m_bytesReceived
    mutable std::condition_variable m_changed;
    std::vector<Packet> m_packets;
    std::uint64_t m_bytesReceived = 0;

    std::jthread m_thread; // last: starts after every member it uses exists
};

} // namespace recorder
