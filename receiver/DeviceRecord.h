// The device record of one connection and the decoding of a device-information
// payload into it. The record's second text becomes the recorder's device key.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kavrel {

// Seven 8-bit (Windows-1252) texts, first to seventh. Owned by one connection.
struct QUVEX_INFO
{
    static constexpr std::size_t kFieldCount = 7;
    std::array<std::string, kFieldCount> texts;

    // Empty record of a new connection: only the third text holds the address.
    static QUVEX_INFO forAddress(std::string address);

    // The connection's name: the second text, or the third while the second is empty.
    const std::string& connectionName() const { return texts[1].empty() ? texts[2] : texts[1]; }
    // The name that starts the connection's log lines: the second text alone,
    // escaped for the log (escapedForLog).
    std::string logName() const;
};

// Wire text made safe for one log line: control characters become "%" and two
// hex digits ("%0D%0A"), and a "%" that already stands before two hex digits
// becomes "%25", so that no text from a peer can start a line of its own.
std::string escapedForLog(std::string_view text);

using LogSink = std::function<void(std::string_view)>;

// Decodes a device-information packet (payload + zero byte) into the record:
// the text runs to the first zero byte; six comma-separated fields, the rest is
// the seventh; the second text becomes second + "_" + seventh. Each step is
// logged, escaped for the log.
void decodeDeviceInfo(std::span<const std::uint8_t> packet, QUVEX_INFO& record, const LogSink& log);

} // namespace kavrel
