// Helpers shared by the event queue's tests: reporting events the way the
// receiver library does, and reading the queue back.
#pragma once

#include "HostEventQueue.h"
#include "kavrel_events.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace monitor::testing {

using Bytes = std::vector<std::uint8_t>;
namespace Code = kavrel::EventCode;

// The library's time text of a connection event.
inline const std::string kTimeText = "2024/03/07 14:05:09";

inline void report(const std::string& key, std::int32_t code, const Bytes& data)
{
    HostCallback(key.c_str(), code, data.data(), static_cast<std::int32_t>(data.size()));
}

inline void reportNotice(const std::string& key, std::int32_t code)
{
    report(key, code, Bytes(kTimeText.begin(), kTimeText.end()));
}

// Publishes data-received notices until the ring holds 63 events, none lost.
inline void fillRing(HostEventQueue& queue)
{
    for (int i = 0; i < EventQueue::Capacity; ++i) {
        {
            const auto held = queue.lock();
            if (queue.ring(held).full())
                break;
        }
        reportNotice("filler", Code::DATA_RECEIVED);
    }
    const auto held = queue.lock();
    ASSERT_TRUE(queue.ring(held).full());
}

struct Taken
{
    std::string key;
    std::int32_t code = 0;
    Bytes data;
};

inline bool takeOne(HostEventQueue& queue, Taken& out)
{
    const auto held = queue.lock();
    return queue.takeOne(held, [&out](const RAWDATA& e) {
        out = {e.Key, e.Code, Bytes(e.bytes().begin(), e.bytes().end())};
    });
}

inline std::vector<Taken> takeAll(HostEventQueue& queue)
{
    std::vector<Taken> all;
    Taken one;
    while (takeOne(queue, one))
        all.push_back(one);
    return all;
}

// Waits until pred holds; false when it has not within the limit.
template <typename Pred>
bool eventually(Pred pred, std::chrono::seconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

inline int waitingProducers(HostEventQueue& queue)
{
    const auto held = queue.lock();
    return queue.waitingProducers(held);
}

} // namespace monitor::testing
