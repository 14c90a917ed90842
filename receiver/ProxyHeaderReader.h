// Reads the PROXY protocol v2 header (ProxyHeader.h) at the start of a
// connection from a trusted proxy, never a byte past it: each read asks for
// no more than the header still lacks, so the recorder's own bytes stay in
// the socket for the connection's worker. The whole header must arrive within
// the time limit, counted from the first wait, and may hold at most
// ProxyHeader::kMaxBytes.
//
// Threads: runs on the connection's worker thread, which owns the socket.
#pragma once

#include "ClientSocket.h"
#include "ProxyHeader.h"

#include <chrono>

namespace kavrel {

// Complete, or Bad with the reason (cut short, too slow, a failed read, or
// what the parser found); never NeedMore.
ProxyHeader readProxyHeader(ClientSocket& socket, std::chrono::milliseconds limit);

} // namespace kavrel
