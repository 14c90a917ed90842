// The payload limits by topic kind and event code.
#include "PayloadLimits.h"

#include "FleetStates.h"
#include "kavrel_events.h"

namespace fleet {

std::optional<std::size_t> payloadLimit(const FleetTopic& topic, std::size_t maxClipBytes)
{
    switch (topic.kind) {
    case TopicKind::GatewayState:
    case TopicKind::RecorderState:
        return kMaxStateBytes;
    case TopicKind::RecorderEvent:
        break;
    }
    if (topic.code == kavrel::EventCode::CMD_GPRMC_DATA ||
        topic.code == kavrel::EventCode::CMD_QUVEX_TIME_EVENT)
        return kMaxTextEventBytes;
    if (!kavrel::clipChannel(topic.code).empty())
        return maxClipBytes;
    return std::nullopt;
}

} // namespace fleet
