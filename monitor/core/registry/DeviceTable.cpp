#include "DeviceTable.h"

namespace monitor {

void DeviceTable::freeAll()
{
    for (CONNECTIONINFO& entry : m_entries)
        entry.Key.clear();
}

std::optional<int> DeviceTable::registerDevice(std::string_view key, std::string_view loginText,
                                               platform::DateTimeMs loginTime)
{
    const std::optional<int> index = find({});
    if (!index)
        return std::nullopt;
    CONNECTIONINFO& entry = m_entries[static_cast<std::size_t>(*index)];
    entry.Key.assign(key);
    entry.LoginTime = loginTime;
    splitLoginText(entry, loginText);
    return index;
}

std::optional<int> DeviceTable::release(std::string_view key)
{
    const std::optional<int> index = find(key);
    if (index)
        m_entries[static_cast<std::size_t>(*index)].Key.clear();
    return index;
}

std::optional<int> DeviceTable::find(std::string_view key) const
{
    for (int i = 0; i < kSearchedEntries; ++i)
        if (m_entries[static_cast<std::size_t>(i)].Key == key)
            return i;
    return std::nullopt;
}

} // namespace monitor
