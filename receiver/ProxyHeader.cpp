#include "ProxyHeader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>

namespace kavrel {

namespace {

constexpr std::array<std::uint8_t, 12> kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                     0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr std::size_t kVersionCommandAt = 12;
constexpr std::size_t kFamilyAt = 13;
constexpr std::size_t kLengthAt = 14;

constexpr std::uint8_t kVersion2 = 0x2;
constexpr std::uint8_t kCommandLocal = 0x0;
constexpr std::uint8_t kCommandProxy = 0x1;
constexpr std::uint8_t kFamilyUnspecified = 0x0;
constexpr std::uint8_t kFamilyIpv4 = 0x1;
constexpr std::uint8_t kFamilyIpv6 = 0x2;
constexpr std::uint8_t kTransportStream = 0x1;

constexpr std::size_t kIpv4Bytes = 4;
constexpr std::size_t kIpv6Bytes = 16;
constexpr std::size_t kPortsBytes = 4;
constexpr std::size_t kEntryHeadBytes = 3; // type, then a 2-byte length

ProxyHeader bad(std::string reason)
{
    ProxyHeader h;
    h.outcome = ProxyHeader::Outcome::Bad;
    h.reason = std::move(reason);
    return h;
}

std::string hexByte(std::uint8_t value)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {'0', 'x', kDigits[value >> 4], kDigits[value & 0xF]};
}

} // namespace

ProxyHeader parseProxyHeader(std::span<const std::uint8_t> bytes)
{
    // The signature is checked on what has come, so a peer that is no proxy
    // is told at its first wrong byte, not after a wait for sixteen.
    const std::size_t signatureSeen = std::min(bytes.size(), kSignature.size());
    if (!std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(signatureSeen),
                    kSignature.begin()))
        return bad("no PROXY protocol v2 signature");
    if (bytes.size() < ProxyHeader::kFixedBytes)
        return {};

    const std::uint8_t versionCommand = bytes[kVersionCommandAt];
    const auto version = static_cast<std::uint8_t>(versionCommand >> 4);
    const auto command = static_cast<std::uint8_t>(versionCommand & 0xF);
    if (version != kVersion2)
        return bad("version " + std::to_string(version) + ", not 2");
    if (command != kCommandLocal && command != kCommandProxy)
        return bad("unknown command " + std::to_string(command));
    const std::size_t length =
        std::size_t{bytes[kLengthAt]} << 8 | std::size_t{bytes[kLengthAt + 1]};
    const std::size_t total = ProxyHeader::kFixedBytes + length;
    if (total > ProxyHeader::kMaxBytes)
        return bad("length " + std::to_string(length) + " over the bound of " +
                   std::to_string(ProxyHeader::kMaxBytes - ProxyHeader::kFixedBytes));

    const std::uint8_t familyTransport = bytes[kFamilyAt];
    const auto family = static_cast<std::uint8_t>(familyTransport >> 4);
    const auto transport = static_cast<std::uint8_t>(familyTransport & 0xF);
    // LOCAL ignores the addresses, whatever they are; so does an unspecified family.
    const bool keepsOwnAddress = command == kCommandLocal || family == kFamilyUnspecified;
    std::size_t addressBytes = 0;
    if (!keepsOwnAddress) {
        if ((family != kFamilyIpv4 && family != kFamilyIpv6) || transport != kTransportStream)
            return bad("family and transport " + hexByte(familyTransport) +
                       ", not TCP over IPv4 or IPv6");
        addressBytes = 2 * (family == kFamilyIpv4 ? kIpv4Bytes : kIpv6Bytes) + kPortsBytes;
        if (length < addressBytes)
            return bad("length " + std::to_string(length) + " too short for the addresses (" +
                       std::to_string(addressBytes) + ")");
    }
    ProxyHeader h;
    h.size = total;
    if (bytes.size() < total)
        return h; // the addresses and the entries after them are still to come

    // The entries after the addresses are skipped, but each must end within
    // the header: one running past it means the length or the entry is wrong.
    // (LOCAL and an unspecified family leave the whole block unread.)
    for (std::size_t at = ProxyHeader::kFixedBytes + addressBytes;
         !keepsOwnAddress && at < total;) {
        if (total - at < kEntryHeadBytes)
            return bad("an entry cut short at byte " + std::to_string(at));
        const std::size_t entryLength =
            std::size_t{bytes[at + 1]} << 8 | std::size_t{bytes[at + 2]};
        if (entryLength > total - at - kEntryHeadBytes)
            return bad("an entry of " + std::to_string(entryLength) +
                       " bytes past the header's end");
        at += kEntryHeadBytes + entryLength;
    }
    h.outcome = ProxyHeader::Outcome::Complete;
    if (!keepsOwnAddress) {
        const std::uint8_t* source = bytes.data() + ProxyHeader::kFixedBytes;
        std::array<char, INET6_ADDRSTRLEN> text{};
        ::inet_ntop(family == kFamilyIpv4 ? AF_INET : AF_INET6, source, text.data(),
                    static_cast<socklen_t>(text.size()));
        h.sourceAddress = text.data();
    }
    return h;
}

} // namespace kavrel
