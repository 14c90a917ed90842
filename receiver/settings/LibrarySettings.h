// The library's settings from "quvex.ini", section "Option", read once at start.
//
// Section and key names match case-insensitively; each line stands on its own,
// and only "=" separates a key from its value. Values are integers in
// decimal, or hexadecimal after 0x or $ (TRUSTED_PROXIES excepted: a list); a
// missing file, section or key, or a value that is no such integer, gives the
// default. WANT_LOG, SHOW_DEBUG and
// SAVE_DATA keep only their low 8 bits, so 257 acts as 1 and 256 as 0.
//
// What cannot be used is found as the file is read, one sentence each with the
// file's name and line, what was wrong and what was taken instead: a value
// that is no such integer or lies outside its range, an unknown name, a name
// given again (the first stays), an unknown section, a line that is no
// setting. The library logs them and tells them on standard error at start;
// the station reads the same findings here to show them in its window.
#pragma once

#include "TrustedProxies.h"
#include "kavrel_link.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

struct LibrarySettings
{
    static constexpr std::string_view kFileName = "quvex.ini";
    static constexpr std::string_view kSection = "Option";
    // The largest MAX_PACKET_SIZE: a packet event's length, the payload and its
    // zero byte, must fit the callback's signed 32-bit length.
    static constexpr std::int32_t kMaxPacketSizeLimit = kMaxPacketSizeCeiling;

    std::uint8_t WANT_LOG = 0;       // not 0: lines are appended to the log file
    std::uint8_t SHOW_DEBUG = 0;     // 1: the debug window is shown and receives lines
    std::uint8_t SAVE_DATA = 0;      // 1: raw packet files, and the log file is set up
    std::int32_t SOCKET_TIMEOUT = 1; // minutes; only written into the time-out line
    // Guards against a peer that announces an unbounded packet or opens
    // unbounded connections; both lie far above what a station ever sees.
    std::int32_t MAX_PACKET_SIZE = 64 * 1024 * 1024; // bytes, at most kMaxPacketSizeLimit
    std::int32_t MAX_CONNECTIONS = 1000;
    // What all connections together may hold for packets under way; a packet
    // that would exceed it waits until others are delivered, so that peers
    // announcing large packets and never finishing them cannot exhaust memory.
    std::int32_t MAX_PACKET_MEMORY = 512 * 1024 * 1024; // bytes
    // Connections one peer address may hold at once (0: no limit), so that one
    // address cannot take every connection slot from the recorders.
    std::int32_t MAX_CONNECTIONS_PER_ADDRESS = 128;
    // Load balancers whose connections begin with a PROXY protocol v2 header
    // naming the recorder (a list of addresses and ranges, not an integer);
    // none by default.
    TrustedProxies TRUSTED_PROXIES;

    bool wantLog() const { return WANT_LOG != 0; }
    bool showDebug() const { return SHOW_DEBUG == 1; }
    bool saveData() const { return SAVE_DATA == 1; }

    // Reads the file; anything missing or malformed keeps its default.
    static LibrarySettings load(const std::string& path);
};

// The settings a file gives, and what in it could not be used.
struct LibrarySettingsReading
{
    LibrarySettings settings;
    // "quvex.ini line 3: SOCKET_TIMEOUT must be ...; the default 1 is taken",
    // in the order of the lines; none for a file that does not exist.
    std::vector<std::string> findings;
};

LibrarySettingsReading readLibrarySettings(const std::string& path);

// An integer as the settings file writes it: optional sign, then decimal digits,
// or hexadecimal digits after 0x or $ (at most 32 bits, taken as a signed pattern).
std::optional<std::int32_t> parseSettingInteger(std::string_view text);

} // namespace kavrel
