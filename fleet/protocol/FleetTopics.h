// The fleet's topic names. Every topic starts with a prefix (kDefaultPrefix
// unless the settings say otherwise); under it:
//
//   PREFIX/gateway/GATEWAY/state                  retained, QoS 1: GatewayState
//   PREFIX/recorder/RECORDER/state/GATEWAY        retained, QoS 1: RecorderState
//   PREFIX/recorder/RECORDER/event/CODE           QoS 1: one packet's payload
//
// GATEWAY is a gateway's name, RECORDER a recorder's device key (Windows-1252
// bytes), each written as a topic level: letters, digits, "-", "_" and "." stay,
// every other byte becomes "%" and two upper-case hex digits. So no name can
// hold a level separator or a wildcard, and every name reads back exactly.
// CODE is the packet's event code as four upper-case hex digits ("0002" for a
// position). A recorder's state is kept per gateway, so that a late "offline"
// from a gateway the recorder has left never overwrites the "online" another
// gateway published since: readers take the state with the highest connection
// number (FleetRoster).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fleet {

inline constexpr std::string_view kDefaultPrefix = "tessaro/v1";
// Longest gateway name and recorder key taken in a topic, in bytes before
// escaping; longer ones are refused, by the publisher and the reader alike.
inline constexpr std::size_t kMaxNameBytes = 256;

// A name as one topic level (see above); none when it is empty or too long.
std::optional<std::string> topicLevel(std::string_view name);
// The name a topic level stands for; none unless it is exactly what
// topicLevel makes of some name.
std::optional<std::string> nameOfTopicLevel(std::string_view level);

enum class TopicKind
{
    GatewayState,
    RecorderState,
    RecorderEvent
};

struct FleetTopic
{
    TopicKind kind = TopicKind::GatewayState;
    std::string gateway;     // GatewayState, RecorderState
    std::string recorderKey; // RecorderState, RecorderEvent (Windows-1252)
    std::int32_t code = 0;   // RecorderEvent
};

// Topics built; the names must be ones topicLevel takes (the callers check
// with topicLevel first, or use names they made themselves).
std::string gatewayStateTopic(std::string_view prefix, std::string_view gateway);
std::string recorderStateTopic(std::string_view prefix, std::string_view recorderKey,
                               std::string_view gateway);
std::string recorderEventTopic(std::string_view prefix, std::string_view recorderKey,
                               std::int32_t code);

// Subscription filters: every gateway's state, every recorder's states, and the
// events of one recorder.
std::string allGatewayStatesFilter(std::string_view prefix);
std::string allRecorderStatesFilter(std::string_view prefix);
std::string recorderEventsFilter(std::string_view prefix, std::string_view recorderKey);

// A topic read back; none for any topic this layout does not make.
std::optional<FleetTopic> parseTopic(std::string_view prefix, std::string_view topic);

} // namespace fleet
