#include "DeviceRecord.h"

#include <algorithm>

namespace kavrel {

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
    log(s);

    std::string_view rest(s);
    for (std::size_t i = 0; i + 1 < QUVEX_INFO::kFieldCount; ++i) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            record.texts[i].clear();
        } else {
            record.texts[i] = std::string(rest.substr(0, comma));
            rest.remove_prefix(comma + 1);
        }
        log(record.texts[i]);
    }
    record.texts[6] = std::string(rest);
    log(record.texts[6]);

    record.texts[1] += "_" + record.texts[6];
    log("MACID=" + record.texts[1]);
}

} // namespace kavrel
