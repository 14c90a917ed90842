// DeviceRegistry: the station's memory of logged-in recorders and the
// operator's choice among them, without a window.
//
// It holds DeviceTable (the entries), the two parallel device lists
// (DeviceLists), SelectedDeviceIndex and UserBusy, and applies the selection
// rules. The window mirrors the lists and the details through two small views
// and routes the user's actions to the handlers below.
//
// API for the dispatcher (user-interface thread):
//   lists()                        the device lists: indexOf, append, remove,
//                                  select, count, selectedKey, the visible
//                                  list's enabled state, style and text
//   registerDevice(key, loginText) fills the first free entry (0..98); gives
//                                  the entry, or none when the table is full,
//                                  and the text for the visible list's item
//   releaseDevice(key)             frees the first entry holding the key
//   CmbBxMACIDChange()             after the selection changed: finds the
//                                  selected key's entry, makes it the selected
//                                  one, shows its details, retitles the
//                                  navigation window
//   table(), SelectedDeviceIndex(), selectedEntry(), UserBusy()
// For the window:
//   setListsView / setDetailsView / setNavigationRetitle  bind the window
//   setSelectionChanged(f)         f(key) runs when another recorder (or none:
//                                  the empty key) has become the selected one
//   locateChosen(position)         the user chose an item of the visible list
//   CmbBxMACIDDropDown() / CmbBxMACIDCloseUp()  a list opened or closed
//   setUserBusy(bool)              a press on or a move over the window frame
//   freeDeviceTable()              start-up: every entry free
//
// A recorder that logs in while entries 0 to 98 are all in use is not
// registered but still listed, so that the lists stay parallel. Its item reads
// its locate and ID text followed by kUnregisteredMark. While it is selected,
// SelectedDeviceIndex is DeviceTable::kUnregisteredEntry, an entry that never
// holds a recorder: the details show no data, no login time and no elapsed
// time, and nothing titles the navigation window with another recorder's key.
// It is registered when it next logs in with an entry free.
//
// With no recorder selected the details are blank: nothing of a recorder that
// has left stays in view.
//
// On a fleet the recorders are listed from the broker's states, not from
// logins, and the table stays empty: an entry source set with setEntrySource
// gives the selected recorder's entry, whatever the number listed.
//
// Texts are Windows-1252 bytes as they came from the wire.
#pragma once

#include "Clock.h"
#include "DeviceDetailsView.h"
#include "DeviceLists.h"
#include "DeviceTable.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace monitor {

class DeviceRegistry
{
public:
    // Appended to the visible list's text of a recorder the full table could not hold.
    static constexpr std::string_view kUnregisteredMark = " (not registered)";

    struct Registration
    {
        std::optional<int> entry; // none when the table was full
        std::string locateText;   // the recorder's item text for the visible list
    };

    // Retitles the navigation window for the given key, when the forwarding
    // knows one; it decides whether there is a window to retitle.
    using NavigationRetitle = std::function<void(const std::string& key)>;
    // Told the newly selected key (empty: none) whenever the selection moves
    // to another recorder, after its details are shown.
    using SelectionChanged = std::function<void(const std::string& key)>;
    // The entry of a listed key (none: nothing known of it).
    using EntrySource = std::function<std::optional<CONNECTIONINFO>(const std::string& key)>;

    // The clock gives the login times.
    explicit DeviceRegistry(const platform::Clock& clock);

    void setListsView(DeviceListsView* view) { m_lists.setView(view); }
    void setDetailsView(DeviceDetailsView* view);
    void setNavigationRetitle(NavigationRetitle retitle) { m_retitle = std::move(retitle); }
    void setSelectionChanged(SelectionChanged changed) { m_selectionChanged = std::move(changed); }
    // From now on the selected recorder's entry comes from the source.
    void setEntrySource(EntrySource source) { m_entrySource = std::move(source); }

    DeviceLists& lists() { return m_lists; }
    const DeviceLists& lists() const { return m_lists; }
    const DeviceTable& table() const { return m_table; }
    int SelectedDeviceIndex() const { return m_selectedDeviceIndex; }
    const CONNECTIONINFO& selectedEntry() const
    {
        return m_entrySource ? m_sourcedEntry : m_table[m_selectedDeviceIndex];
    }
    const DeviceDetails& details() const { return m_details; }

    void freeDeviceTable() { m_table.freeAll(); }
    Registration registerDevice(std::string_view key, std::string_view loginText);
    std::optional<int> releaseDevice(std::string_view key) { return m_table.release(key); }

    void CmbBxMACIDChange();
    void locateChosen(int position);
    void CmbBxMACIDDropDown() { m_userBusy = true; }
    void CmbBxMACIDCloseUp() { m_userBusy = false; }

    bool UserBusy() const { return m_userBusy; }
    void setUserBusy(bool busy) { m_userBusy = busy; }

private:
    const platform::Clock& m_clock;
    DeviceTable m_table;
    DeviceLists m_lists;
    int m_selectedDeviceIndex = 0;
    bool m_userBusy = false;
    DeviceDetails m_details;
    DeviceDetailsView* m_detailsView = nullptr;
    NavigationRetitle m_retitle;
    SelectionChanged m_selectionChanged;
    EntrySource m_entrySource;
    // The selected recorder's entry as the source gave it.
    CONNECTIONINFO m_sourcedEntry;
    // The key that m_selectionChanged was last told of.
    std::string m_toldKey;
};

} // namespace monitor
