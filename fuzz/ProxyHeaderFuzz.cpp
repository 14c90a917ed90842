// Any bytes at the start of a trusted proxy's connection, read as its PROXY
// protocol v2 header: the parser never reads past what it is given, a
// complete header is complete on its own bytes and needed every one of them,
// and "need more" always asks for more, within the bound.
#include "FuzzCheck.h"
#include "ProxyHeader.h"

#include <arpa/inet.h>
#include <cstdint>
#include <span>

using kavrel::ProxyHeader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const ProxyHeader h = kavrel::parseProxyHeader(bytes);
    switch (h.outcome) {
    case ProxyHeader::Outcome::NeedMore:
        FUZZ_CHECK(h.size > size);
        FUZZ_CHECK(h.size >= ProxyHeader::kFixedBytes && h.size <= ProxyHeader::kMaxBytes);
        break;
    case ProxyHeader::Outcome::Bad:
        FUZZ_CHECK(!h.reason.empty());
        break;
    case ProxyHeader::Outcome::Complete: {
        FUZZ_CHECK(h.size <= size);
        FUZZ_CHECK(h.size >= ProxyHeader::kFixedBytes && h.size <= ProxyHeader::kMaxBytes);
        const ProxyHeader alone = kavrel::parseProxyHeader(bytes.first(h.size));
        FUZZ_CHECK(alone.outcome == ProxyHeader::Outcome::Complete);
        FUZZ_CHECK(alone.size == h.size && alone.sourceAddress == h.sourceAddress);
        const ProxyHeader short1 = kavrel::parseProxyHeader(bytes.first(h.size - 1));
        FUZZ_CHECK(short1.outcome == ProxyHeader::Outcome::NeedMore && short1.size == h.size);
        if (!h.sourceAddress.empty()) {
            unsigned char address[16];
            FUZZ_CHECK(::inet_pton(AF_INET, h.sourceAddress.c_str(), address) == 1 ||
                       ::inet_pton(AF_INET6, h.sourceAddress.c_str(), address) == 1);
        }
        break;
    }
    }
    return 0;
}
