// The text of an event as the dispatcher reads it: the event's data up to its
// first zero byte, never beyond its Length. Each input is reported through
// HostCallback and taken from the queue, whose slots still hold the bytes of
// earlier, longer inputs, and read again from a copy of exactly its size.
#include "EventText.h"
#include "FuzzCheck.h"
#include "HostEventQueue.h"
#include "kavrel_events.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

using namespace monitor;

namespace {

HostEventQueue* g_queue = nullptr; // the program's one queue, kept to the end

void checkText(std::span<const std::uint8_t> data, std::string_view text)
{
    const auto firstZero = std::find(data.begin(), data.end(), std::uint8_t{0});
    FUZZ_CHECK(text.size() == static_cast<std::size_t>(firstZero - data.begin()));
    FUZZ_CHECK(std::equal(text.begin(), text.end(), data.begin(), [](char c, std::uint8_t b) {
        return static_cast<std::uint8_t>(c) == b;
    }));
    const std::string_view time = EventTimeOf(text);
    FUZZ_CHECK(time.size() <= text.size());
    FUZZ_CHECK(time.find(',') == std::string_view::npos);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_queue = new HostEventQueue;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Exactly the event's bytes, so that a read beyond them is caught.
    const std::vector<std::uint8_t> exact(data, data + size);
    checkText(exact, EventText(exact));

    HostCallback("QV1_0042", kavrel::EventCode::CMD_QUVEX_TIME_EVENT, exact.data(),
                 static_cast<std::int32_t>(exact.size()));
    const HostEventQueue::Lock held = g_queue->lock();
    const bool taken = g_queue->takeOne(held, [&](const RAWDATA& event) {
        FUZZ_CHECK(static_cast<std::size_t>(event.Length) == size);
        checkText(exact, EventText(event.bytes()));
        FUZZ_CHECK(EventText(event.bytes()) == EventText(exact));
    });
    FUZZ_CHECK(taken);
    return 0;
}
