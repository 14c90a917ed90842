// Hands a complete packet to the host: decodes a device-information packet
// first, then reports the packet through the registered callback, if any.
#pragma once

#include "DeviceRecord.h"
#include "LinkProtocol.h"
#include "kavrel.h"

#include <span>

namespace kavrel {

// Reports one event to the callback, when one is given. Never lets an exception out.
void reportEvent(KavrelHostCallback callback, const std::string& text, std::int32_t code,
                 std::span<const std::uint8_t> data);

// Called once per complete packet on the connection's worker thread; returns
// when the host's callback has returned. packet is the payload + one zero byte.
// A packet whose command is a connection event code is logged, not reported.
void deliverPacket(const HeaderBytes& header, QUVEX_INFO& record,
                   std::span<const std::uint8_t> packet, KavrelHostCallback callback,
                   const LogSink& log);

} // namespace kavrel
