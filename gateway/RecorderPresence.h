// Which recorders this gateway holds now, and the state each login and each
// end of a connection gives them in the fleet (FleetStates.h).
//
// A login gets a connection number from the gateway's clock in microseconds,
// made strictly greater than every number given before, so that two logins in
// one microsecond, or a clock set back, never share or reuse one. A
// connection's end (closed or timed out) takes its recorder offline, with the
// number of its login, only while that connection is still the recorder's
// newest on this gateway: a recorder that dialled in again before its old
// connection ended stays online.
//
// Not thread-safe: the gateway's thread owns it.
#pragma once

#include "FleetStates.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace gateway {

class RecorderPresence
{
public:
    explicit RecorderPresence(std::string gatewayName) : m_gateway(std::move(gatewayName)) {}

    // A login on connection (the receiver's number of it) with its
    // device-information text; nowMicros: the gateway's clock, since: its
    // local time as text. Gives the recorder's state, online.
    fleet::RecorderState login(const std::string& recorderKey, std::uint64_t connection,
                               std::string_view loginText, std::uint64_t nowMicros,
                               std::string since);
    // The connection ended; the recorder's offline state when it was the
    // recorder's newest connection here, none otherwise.
    std::optional<fleet::RecorderState> leave(const std::string& recorderKey,
                                              std::uint64_t connection);

    std::size_t online() const { return m_held.size(); }

private:
    struct Held
    {
        std::uint64_t connection = 0;
        fleet::RecorderState state;
    };

    const std::string m_gateway;
    std::map<std::string, Held> m_held; // by recorder key
    std::uint64_t m_lastNumber = 0;
};

} // namespace gateway
