#include "RAWDATA.h"

#include <algorithm>
#include <utility>

namespace monitor {

void RAWDATA::assign(const char* text, std::int32_t code, std::span<const std::uint8_t> data,
                     std::uint64_t connection)
{
    // Everything that can fail comes first, so that a failure changes nothing seen.
    std::string key(text != nullptr ? text : "");
    if (data.size() > Data.size()) {
        if (m_baseArea.empty()) {
            // The base area is set aside, not grown, so that giving it back
            // later needs no allocation.
            std::vector<std::uint8_t> grown(data.size());
            m_baseArea = std::exchange(Data, std::move(grown));
        } else {
            Data.resize(data.size());
        }
    }
    Key = std::move(key);
    Code = code;
    Connection = connection;
    Length = static_cast<std::int32_t>(data.size());
    std::copy(data.begin(), data.end(), Data.begin());
}

void RAWDATA::shrinkToBase() noexcept
{
    if (m_baseArea.empty())
        return;
    Data = std::move(m_baseArea);
    m_baseArea = std::vector<std::uint8_t>();
    // The event that needed the grown area is gone with it.
    Length = 0;
}

} // namespace monitor
