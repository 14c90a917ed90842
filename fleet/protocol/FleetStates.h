// The retained states of the fleet, as JSON objects in UTF-8:
//
//   gateway:  {"state":"online","gateway":"gw-1","since":"2026/12/09 10:00:00"}
//   recorder: {"state":"online","gateway":"gw-1","connection":1765274400123456,
//              "since":"2026/12/09 10:00:05","address":"10.0.0.7",
//              "device":["...", "Oregon_3", ...]}      (the device record's seven texts)
//
// A gateway's last will is its state "offline". The recorder's texts travel as
// UTF-8 and are Windows-1252 again once read (the wire's own text). The
// connection number grows with every login the fleet sees: a gateway makes it
// from its clock in microseconds, so that a later login on another gateway
// wins over an earlier one (FleetRoster).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fleet {

// Longest state message read; a longer one is refused unread.
inline constexpr std::size_t kMaxStateBytes = 16 * 1024;
inline constexpr std::size_t kDeviceTextCount = 7;

struct GatewayState
{
    bool online = false;
    std::string gateway;
    std::string since; // "yyyy/mm/dd hh:mm:ss", local time of the gateway
};

struct RecorderState
{
    bool online = false;
    std::string gateway;
    std::uint64_t connection = 0;
    std::string since;
    std::string address;
    std::array<std::string, kDeviceTextCount> device; // Windows-1252
};

std::string encodeGatewayState(const GatewayState& state);
std::string encodeRecorderState(const RecorderState& state);

// A state read back; none for anything that is not such an object (too long,
// not JSON, a field missing or of the wrong type, an unknown state word, a
// device list not of seven texts). Names longer than kMaxNameBytes are refused.
std::optional<GatewayState> decodeGatewayState(std::string_view json);
std::optional<RecorderState> decodeRecorderState(std::string_view json);

} // namespace fleet
