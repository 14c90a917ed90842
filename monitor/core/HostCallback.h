// The callback through which the receiver library reports its events to the
// program: it fills the program's event queue.
#pragma once

#include "kavrel.h"

#include <cstdint>

namespace monitor {

// Registered with GPRSRegisterCallbackInformation; called on the library's
// worker threads, by several at once. Passes the event to the HostEventQueue
// that exists at the time (none: the event is ignored), with the number of the
// connection that reported it, and returns 0. Nothing is thrown back into the
// library.
std::int32_t KAVREL_CALL HostCallback(const char* text, std::int32_t code, const void* data,
                                      std::int32_t length) noexcept;

} // namespace monitor
