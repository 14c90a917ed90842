// The station's lines on standard error: "Tessaro: " and the text, one line
// each, flushed at once so that a script or a test reading them sees them as
// they happen.
#pragma once

#include <string_view>

namespace monitor {

void tellStandardError(std::string_view line);

} // namespace monitor
