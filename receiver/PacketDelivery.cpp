#include "PacketDelivery.h"

#include "HostGate.h"

#include <string>

namespace kavrel {

void reportEvent(KavrelHostCallback callback, const std::string& text, std::int32_t code,
                 std::span<const std::uint8_t> data)
{
    if (callback == nullptr)
        return;
    const HostGate::Pass pass;
    if (!pass)
        return; // the process is exiting: the host's code may be half torn down
    try {
        callback(text.c_str(), code, data.data(), static_cast<std::int32_t>(data.size()));
    } catch (...) {
        // A host that throws through a C callback is broken; the connection goes on.
    }
}

void deliverPacket(const HeaderBytes& header, QUVEX_INFO& record,
                   std::span<const std::uint8_t> packet, KavrelHostCallback callback,
                   const LogSink& log)
{
    const std::int32_t code = decodeHeader(header).command;
    if (code == EventCode::QUVEX_INFO)
        decodeDeviceInfo(packet, record, log);
    if (isConnectionEvent(code)) {
        log(record.logName() + ":command " + std::to_string(code) +
            " is a connection event code; acknowledged, not reported");
        return;
    }
    reportEvent(callback, record.connectionName(), code, packet);
}

} // namespace kavrel
