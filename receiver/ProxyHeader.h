// The PROXY protocol version 2 header that a load balancer sends ahead of a
// connection's own bytes, naming the peer it accepted. No sockets: the bytes
// read so far go in; the answer is "need more" (and how many in all), "bad"
// (and why), or "complete" (and how many bytes the header took, the rest
// being the recorder's own). All multi-byte fields are big-endian.
//
//   offset  size  field
//        0    12  signature 0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A
//       12     1  version (high 4 bits, 2) and command (low 4 bits: 0 LOCAL, 1 PROXY)
//       13     1  family (high 4 bits: 0 unspecified, 1 IPv4, 2 IPv6, 3 UNIX)
//                 and transport (low 4 bits: 0 unspecified, 1 stream, 2 datagram)
//       14     2  length of what follows
//       16        IPv4: source 4, destination 4, source port 2, destination port 2
//                 IPv6: source 16, destination 16, source port 2, destination port 2
//                 then type-length-value entries up to the length, skipped
//
// LOCAL (the proxy's own connection, a health check) and PROXY with an
// unspecified family keep the connection's own address; PROXY over TCP names
// the recorder's. Anything else (another version or command, a datagram or
// UNIX socket, a length too short for its addresses or longer than the bound)
// is bad: a proxy in front of the library only ever forwards TCP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kavrel {

struct ProxyHeader
{
    static constexpr std::size_t kFixedBytes = 16;
    // The largest header taken: the minimal TCP segment (536 bytes), in which
    // a sender places the whole header; far above the 28 (IPv4) or 52 (IPv6)
    // bytes a proxy sends without entries of its own.
    static constexpr std::size_t kMaxBytes = 536;

    enum class Outcome
    {
        NeedMore, // `size` bytes in all are needed before more can be said
        Complete, // the header is the first `size` bytes
        Bad,      // `reason` says why
    };

    Outcome outcome = Outcome::NeedMore;
    std::size_t size = kFixedBytes;
    // The recorder's address (dotted IPv4, or IPv6 text); empty when the
    // connection's own address stands (LOCAL, or an unspecified family).
    std::string sourceAddress;
    std::string reason;
};

// Reads the header at the front of bytes; bytes after it are not looked at.
ProxyHeader parseProxyHeader(std::span<const std::uint8_t> bytes);

} // namespace kavrel
