// The addresses whose connections begin with a PROXY protocol v2 header
// (ProxyHeader.h): the load balancers in front of the library. Set by
// TRUSTED_PROXIES in quvex.ini as a comma-separated list of addresses and
// ranges ("127.0.0.1,10.0.0.0/8", IPv6 too); empty, the default, trusts none
// and no connection is ever read for a header, so that a recorder cannot name
// an address of its choosing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

class TrustedProxies
{
public:
    // Entries that are no address or range are left out and listed in rejected().
    static TrustedProxies parse(std::string_view list);

    bool empty() const { return m_ranges.empty(); }
    // The peer's address as text (dotted IPv4 or IPv6); false for anything unreadable.
    bool contains(std::string_view address) const;

    // The entries taken, joined by ", ", and those left out; each as written.
    std::string describe() const;
    const std::vector<std::string>& rejected() const { return m_rejected; }

private:
    struct Range
    {
        bool ipv6 = false;
        std::array<std::uint8_t, 16> bytes{}; // IPv4 in the first 4
        int prefixBits = 0;
        std::string text;
    };

    std::vector<Range> m_ranges;
    std::vector<std::string> m_rejected;
};

} // namespace kavrel
