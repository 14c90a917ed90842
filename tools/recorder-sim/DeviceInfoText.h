// Builds the device-information text a recorder sends first (command 0): seven
// fields separated by ','. The receiver names the connection by field 2 + "_" +
// field 7; field 7 takes the rest of the text, so only it may hold commas.
// Fields are given in UTF-8 and go out in Windows-1252.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace recorder {

inline constexpr std::size_t kDeviceInfoFieldCount = 7;
inline constexpr std::size_t kSerialField = 1; // field 2, the first half of the key
inline constexpr std::size_t kIdField = 6;     // field 7, the second half of the key

struct DeviceInfo
{
    // UTF-8, in wire order: 1 info, 2 serial, 3 address, 4 department, 5 user,
    // 6 location, 7 id.
    std::array<std::string, kDeviceInfoFieldCount> fields;
};

// Why info cannot be sent as seven fields (a comma in fields 1 to 6), or nothing.
std::optional<std::string> deviceInfoProblem(const DeviceInfo& info);

// Appends the Windows-1252 text; characters with no Windows-1252 form become '?'.
void appendDeviceInfoText(std::string& out, const DeviceInfo& info);

// The key the receiver will name this recorder by, in Windows-1252 as on the wire.
std::string deviceKey(const DeviceInfo& info);

} // namespace recorder
