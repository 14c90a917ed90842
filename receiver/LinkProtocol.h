// The device link inside the receiver: the wire format (kavrel_link.h), the
// event codes (kavrel_events.h) and the size of a connection's reads.
#pragma once

#include "kavrel_events.h"
#include "kavrel_link.h"

#include <cstddef>

namespace kavrel {

// The largest read a connection asks for, and the size of its receive buffer.
inline constexpr std::size_t kMaxReadSize = 65536;

} // namespace kavrel
