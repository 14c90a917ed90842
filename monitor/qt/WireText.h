// Wire text (Windows-1252 bytes) as the widgets show it.
#pragma once

#include "TextCodec.h"

#include <QString>
#include <cstddef>
#include <string_view>

namespace monitor {

inline QString fromWireText(std::string_view text)
{
    return QString::fromStdString(platform::windows1252ToUtf8(text));
}

// Texts from the wire that the window shows (details, list items) are shown
// at most this long: a record of megabytes must not freeze the window.
inline constexpr std::size_t kShownWireTextMax = 256;

inline QString shownWireText(std::string_view text)
{
    return fromWireText(text.substr(0, kShownWireTextMax));
}

} // namespace monitor
