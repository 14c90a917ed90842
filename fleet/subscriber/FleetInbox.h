// The bounded hand-over from the MQTT client's thread to the station's: the
// messages of the fleet that passed their size check, in arrival order.
//
// Threads: the client's callback thread pushes, the station's thread takes
// everything at once in its tick. m_lock guards the queue, its byte count and
// the drop counter; both sides hold it only to move messages in or out.
//
// Full: a message that would pass the count or the byte bound is dropped and
// counted, never waited for: the client's thread must keep reading the broker,
// and an operator's station is better off missing a forged flood than falling
// behind the fleet. A single message larger than the byte bound is refused
// even into an empty inbox.
#pragma once

#include "FleetTopics.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace fleet {

struct FleetMessage
{
    // The client's connection it came on: a message of an earlier connection
    // is older than anything the current one says.
    std::uint64_t session = 0;
    FleetTopic topic;
    std::string payload; // empty: a retained state cleared
};

class FleetInbox
{
public:
    static constexpr std::size_t kDefaultMaxMessages = 20'000;
    static constexpr std::size_t kDefaultMaxBytes = std::size_t{128} << 20;

    explicit FleetInbox(std::size_t maxMessages = kDefaultMaxMessages,
                        std::size_t maxBytes = kDefaultMaxBytes);

    // False when it does not fit: then dropped and counted.
    bool push(FleetMessage message);
    // Everything queued, oldest first; the inbox is empty afterwards.
    std::deque<FleetMessage> takeAll();
    std::uint64_t dropped() const;

private:
    const std::size_t m_maxMessages;
    const std::size_t m_maxBytes;
    mutable std::mutex m_lock; // guards the three below
    std::deque<FleetMessage> m_messages;
    std::size_t m_bytes = 0;
    std::uint64_t m_dropped = 0;
};

} // namespace fleet
