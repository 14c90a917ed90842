#include "ProxyHeaderReader.h"

#include <array>

namespace kavrel {

namespace {

ProxyHeader badHeader(std::string reason)
{
    ProxyHeader h;
    h.outcome = ProxyHeader::Outcome::Bad;
    h.reason = std::move(reason);
    return h;
}

} // namespace

ProxyHeader readProxyHeader(ClientSocket& socket, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    std::array<std::uint8_t, ProxyHeader::kMaxBytes> buffer{};
    std::size_t have = 0;
    for (;;) {
        const ProxyHeader h = parseProxyHeader(std::span(buffer).first(have));
        if (h.outcome != ProxyHeader::Outcome::NeedMore)
            return h;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !socket.waitForData(left))
            return badHeader("not complete within " + std::to_string(limit.count()) + " ms (" +
                             std::to_string(have) + " bytes came)");
        std::size_t count = 0;
        try {
            count = socket.read(std::span(buffer).subspan(have, h.size - have));
        } catch (const std::exception& e) {
            return badHeader(std::string("the read failed: ") + e.what());
        }
        if (count == 0)
            return badHeader("the connection closed after " + std::to_string(have) + " bytes");
        have += count;
    }
}

} // namespace kavrel
