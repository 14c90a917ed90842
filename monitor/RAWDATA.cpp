#include "RAWDATA.h"

#include <algorithm>

namespace monitor {

void RAWDATA::assign(const char* text, std::int32_t code, std::span<const std::uint8_t> data)
{
    // Everything that can fail comes first, so that a failure changes nothing seen.
    if (data.size() > Data.size())
        Data.resize(data.size());
    Key.assign(text != nullptr ? text : "");
    Code = code;
    Length = static_cast<std::int32_t>(data.size());
    std::copy(data.begin(), data.end(), Data.begin());
}

} // namespace monitor
