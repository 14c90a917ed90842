// DeviceTable: the fixed table of logged-in recorders.
//
// 100 entries, but every search (registering, releasing, finding) looks at
// indices 0 to 98 only: at most 99 recorders are registered at once and entry
// kUnregisteredEntry (99) is never filled. An entry is free when its Key is
// empty; releasing empties the Key only, so the other fields keep the last
// recorder's values until the entry is registered again.
//
// Threading: user-interface thread only.
#pragma once

#include "CONNECTIONINFO.h"

#include <array>
#include <optional>
#include <string_view>

namespace monitor {

class DeviceTable
{
public:
    static constexpr int kEntries = 100;
    // Indices 0 .. kSearchedEntries - 1 are searched.
    static constexpr int kSearchedEntries = 99;
    // The entry that no search reaches; it stays free and blank for good.
    static constexpr int kUnregisteredEntry = kSearchedEntries;

    // Marks every entry free (the other fields keep their values).
    void freeAll();

    // Fills the first free entry with the key, login time and the fields of the
    // login text. None when all searched entries are in use.
    std::optional<int> registerDevice(std::string_view key, std::string_view loginText,
                                      platform::DateTimeMs loginTime);
    // Frees the first entry holding the key. None when no entry holds it.
    std::optional<int> release(std::string_view key);
    // The first searched entry whose Key equals key exactly; the empty key
    // finds the first free entry.
    std::optional<int> find(std::string_view key) const;

    const CONNECTIONINFO& operator[](int index) const
    {
        return m_entries.at(static_cast<std::size_t>(index));
    }

private:
    std::array<CONNECTIONINFO, kEntries> m_entries;
};

} // namespace monitor
