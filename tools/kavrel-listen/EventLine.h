// One line of text for one event reported by the receiver library: the code and
// its name, the connection's name, the data length and a preview of the data.
// Texts on the wire are Windows-1252; they are shown in UTF-8 with control
// characters and bytes that stand for no character escaped, so that a line is
// always one line and never garbles a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace listenhost {

// The most data bytes a preview shows; longer data ends in "...".
inline constexpr std::size_t kPreviewBytes = 96;
inline constexpr std::size_t kHexPreviewBytes = 16;

// True for the codes whose data is text: device information, position
// sentences, event times, and the library's connection events (time text).
bool carriesText(std::int32_t code);

// The data of a text event, up to its first zero byte and never beyond length,
// quoted, escaped and converted to UTF-8; cut at kPreviewBytes.
std::string textPreview(const void* data, std::int32_t length);

// The first kHexPreviewBytes bytes of binary data as spaced hex.
std::string hexPreview(const void* data, std::int32_t length);

// "2 CMD_GPRMC_DATA  SIM_1  length 73  "$GPRMC,...""; a null text or data is shown as absent.
std::string formatEventLine(const char* text, std::int32_t code, const void* data,
                            std::int32_t length);

} // namespace listenhost
