// How long a message of each kind of fleet topic may be before the subscriber
// refuses it, unread: anyone on the broker may publish, and a state, a
// position or an event time is never more than a few hundred bytes.
#pragma once

#include "FleetTopics.h"

#include <cstddef>
#include <optional>

namespace fleet {

// Positions (NMEA RMC) and event times.
inline constexpr std::size_t kMaxTextEventBytes = 64 * 1024;
// Clips, unless the settings say otherwise.
inline constexpr std::size_t kDefaultMaxClipBytes = std::size_t{64} << 20;

// The longest payload taken on the topic; none for an event code the station
// does not handle (its messages are refused whatever their size).
std::optional<std::size_t> payloadLimit(const FleetTopic& topic, std::size_t maxClipBytes);

} // namespace fleet
