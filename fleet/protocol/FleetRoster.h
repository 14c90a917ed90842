// What a subscriber knows of the fleet: every gateway's state and every
// recorder's state per gateway, as the retained messages give them. A recorder
// is online when, of its states, the one with the highest connection number
// says online and that state's gateway is online; so a late "offline" from a
// gateway the recorder left never hides a newer login elsewhere, and a gateway
// that went away (its last will) takes its recorders offline with it.
//
// Bounded: at most the given number of recorder states is kept; further ones
// are refused (anyone on the broker may publish), and so are states whose
// topic and message disagree on the gateway.
//
// Not thread-safe: owned by one thread (the station's).
#pragma once

#include "FleetStates.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

inline constexpr std::size_t kDefaultMaxRecorderStates = 100'000;

class FleetRoster
{
public:
    explicit FleetRoster(std::size_t maxRecorderStates = kDefaultMaxRecorderStates);

    // A retained message seen, or cleared (none). False when it was refused.
    bool applyGatewayState(const std::string& gateway, std::optional<GatewayState> state);
    bool applyRecorderState(const std::string& recorderKey, const std::string& gateway,
                            std::optional<RecorderState> state);

    // The state that speaks for the recorder when it is online; none otherwise.
    std::optional<RecorderState> onlineState(const std::string& recorderKey) const;
    // Every online recorder, by key (Windows-1252 byte order), with its state.
    std::vector<std::pair<std::string, RecorderState>> onlineRecorders() const;
    bool gatewayOnline(const std::string& gateway) const;

    std::size_t recorderStateCount() const { return m_stateCount; }

private:
    const RecorderState* newestState(const std::string& recorderKey) const;

    std::size_t m_maxRecorderStates;
    std::size_t m_stateCount = 0;
    std::map<std::string, GatewayState> m_gateways;
    // Recorder key -> gateway -> that gateway's last state of the recorder.
    std::map<std::string, std::map<std::string, RecorderState>> m_recorders;
};

} // namespace fleet
