// DeviceLists: the two parallel device lists of the main window without the
// window: the hidden one of recorder keys (CmbBxMACID) and the visible one of
// their display texts (CmbBxLocateID). Item i of both belongs to the same
// recorder, and one selection serves both, so the lists cannot drift apart.
//
// API (all on the user-interface thread):
//   indexOf(key)          position of a key (exact, case-sensitive), or kNone
//   append(key, text, connection)  adds a recorder as the last item of both
//                         lists; the item belongs to that connection
//   setConnection(p, c) / connection(p)  the connection an item belongs to: the
//                         one that last logged its key in
//   remove(position)      deletes the item from both lists; a selection after
//                         it moves up with its item, a selection of it ends
//   select(position)      selects the position in both lists, or kNone
//   count(), selected(), key(i), locateText(i)
//   selectedKey()         the text of CmbBxMACID: the selected key, or empty
//   setLocateEnabled / setLocateStyle / setLocateFreeText and their readers:
//                         the visible list's enabled state, its style, and
//                         the text it shows (the selected item's text in the
//                         selection-only style, the edit text in the free one)
// Every change is passed on to the view, when one is set, after it is made.
//
// Texts are Windows-1252 bytes as they came from the wire.
#pragma once

#include "DeviceListsView.h"
#include "RecorderSelection.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

class DeviceLists final : public RecorderSelection
{
public:
    static constexpr int kNone = -1;

    // The view mirrors the lists from now on; null for none. It is told the
    // current state at once.
    void setView(DeviceListsView* view);

    int indexOf(std::string_view key) const;
    void append(std::string key, std::string locateText, std::uint64_t connection = 0);
    void remove(int position);
    void select(int position);

    int count() const { return static_cast<int>(m_items.size()); }
    int selected() const { return m_selected; }
    const std::string& key(int position) const { return item(position).key; }
    const std::string& locateText(int position) const { return item(position).locateText; }
    std::uint64_t connection(int position) const { return item(position).connection; }
    void setConnection(int position, std::uint64_t connection)
    {
        m_items.at(static_cast<std::size_t>(position)).connection = connection;
    }
    const std::string& selectedKey() const override;
    bool isListed(std::string_view key) const override { return indexOf(key) != kNone; }

    bool locateEnabled() const { return m_locateEnabled; }
    LocateStyle locateStyle() const { return m_locateStyle; }
    // What the visible list shows.
    std::string locateShownText() const;
    void setLocateEnabled(bool enabled);
    // Switching to FreeText keeps the text shown at that moment.
    void setLocateStyle(LocateStyle style);
    // The edit text; shown only in the FreeText style.
    void setLocateFreeText(std::string text);

private:
    struct Item
    {
        std::string key;
        std::string locateText;
        std::uint64_t connection = 0; // RAWDATA::Connection of its latest login
    };

    const Item& item(int position) const { return m_items.at(static_cast<std::size_t>(position)); }
    void locateIdChanged();

    std::vector<Item> m_items;
    int m_selected = kNone;
    bool m_locateEnabled = false;
    LocateStyle m_locateStyle = LocateStyle::SelectionOnly;
    std::string m_freeText;
    DeviceListsView* m_view = nullptr;
};

} // namespace monitor
