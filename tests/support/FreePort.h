// A TCP port on this machine that nothing listens on right now.
#pragma once

#include "TcpSocket.h"

#include <cstdint>

namespace testsupport {

inline std::uint16_t freePort()
{
    platform::TcpListener probe;
    probe.listen(0, 1);
    return probe.port();
}

} // namespace testsupport
