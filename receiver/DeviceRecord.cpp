#include "DeviceRecord.h"

#include <algorithm>
#include <cctype>

namespace kavrel {

namespace {

bool isHexDigit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string escapedForLog(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool control = byte < 0x20 || byte == 0x7F;
        const bool escapeLike = byte == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) &&
                                isHexDigit(text[i + 2]);
        if (control || escapeLike) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string QUVEX_INFO::logName() const
{
    return escapedForLog(texts[1]);
}

QUVEX_INFO QUVEX_INFO::forAddress(std::string address)
{
    QUVEX_INFO r;
    r.texts[2] = std::move(address);
    return r;
}

void decodeDeviceInfo(std::span<const std::uint8_t> packet, QUVEX_INFO& record, const LogSink& log)
{
    const auto end = std::find(packet.begin(), packet.end(), std::uint8_t{0});
    std::string s(packet.begin(), end);
    log(escapedForLog(s));

    std::string_view rest(s);
    for (std::size_t i = 0; i + 1 < QUVEX_INFO::kFieldCount; ++i) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            record.texts[i].clear();
        } else {
            record.texts[i] = std::string(rest.substr(0, comma));
            rest.remove_prefix(comma + 1);
        }
        log(escapedForLog(record.texts[i]));
    }
    record.texts[6] = std::string(rest);
    log(escapedForLog(record.texts[6]));

    record.texts[1] += "_" + record.texts[6];
    log("MACID=" + record.logName());
}

} // namespace kavrel
