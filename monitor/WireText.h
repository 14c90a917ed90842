// Wire text (Windows-1252 bytes) as the widgets show it.
#pragma once

#include "TextCodec.h"

#include <QString>
#include <string_view>

namespace monitor {

inline QString fromWireText(std::string_view text)
{
    return QString::fromStdString(platform::windows1252ToUtf8(text));
}

} // namespace monitor
