#include "TrustedProxies.h"

#include "SettingsText.h"

#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <netinet/in.h>
#include <optional>

namespace kavrel {

namespace {

constexpr int kIpv4Bits = 32;
constexpr int kIpv6Bits = 128;
constexpr int kBitsPerByte = 8;

struct Address
{
    bool ipv6 = false;
    std::array<std::uint8_t, 16> bytes{};
};

std::optional<Address> parseAddress(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return std::nullopt; // the system's parser would stop at it
    const std::string zeroEnded(text);
    Address a;
    if (::inet_pton(AF_INET, zeroEnded.c_str(), a.bytes.data()) == 1)
        return a;
    a.ipv6 = true;
    if (::inet_pton(AF_INET6, zeroEnded.c_str(), a.bytes.data()) == 1)
        return a;
    return std::nullopt;
}

bool samePrefix(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b,
                int bits)
{
    for (std::size_t i = 0; bits > 0; ++i, bits -= kBitsPerByte) {
        const auto mask =
            static_cast<std::uint8_t>(bits >= kBitsPerByte ? 0xFF : 0xFF << (kBitsPerByte - bits));
        if ((a[i] & mask) != (b[i] & mask))
            return false;
    }
    return true;
}

} // namespace

TrustedProxies TrustedProxies::parse(std::string_view list)
{
    TrustedProxies proxies;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view entry = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (entry.empty())
            continue;
        const std::size_t slash = entry.find('/');
        const auto address = parseAddress(entry.substr(0, slash));
        const int maxBits = address && address->ipv6 ? kIpv6Bits : kIpv4Bits;
        int bits = maxBits;
        bool readable = address.has_value();
        if (readable && slash != std::string_view::npos) {
            const std::string_view digits = entry.substr(slash + 1);
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), bits);
            readable = !digits.empty() && ec == std::errc{} &&
                       end == digits.data() + digits.size() && bits >= 0 && bits <= maxBits;
        }
        if (!readable) {
            proxies.m_rejected.emplace_back(entry);
            continue;
        }
        proxies.m_ranges.push_back({address->ipv6, address->bytes, bits, std::string(entry)});
    }
    return proxies;
}

bool TrustedProxies::contains(std::string_view address) const
{
    const auto a = parseAddress(address);
    if (!a)
        return false;
    for (const Range& r : m_ranges)
        if (r.ipv6 == a->ipv6 && samePrefix(r.bytes, a->bytes, r.prefixBits))
            return true;
    return false;
}

std::string TrustedProxies::describe() const
{
    std::string text;
    for (const Range& r : m_ranges)
        text += (text.empty() ? "" : ", ") + r.text;
    return text;
}

} // namespace kavrel
