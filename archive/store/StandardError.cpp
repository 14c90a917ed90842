#include "StandardError.h"

#include <cstdio>

namespace monitor {

void tellStandardError(std::string_view line)
{
    std::fprintf(stderr, "Tessaro: %.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}

} // namespace monitor
