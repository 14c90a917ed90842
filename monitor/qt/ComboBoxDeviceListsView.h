// The device lists shown in the window's two drop-down lists: the hidden list
// of keys (CmbBxMACID) and the visible list of display texts (CmbBxLocateID).
// It mirrors every change of the registry's lists into them, with their signals
// blocked, and routes the user's choice of an item back to the registry, which
// then runs CmbBxMACIDChange.
//
// Finding by text (a station on a fleet lists hundreds of recorders): while
// the visible list offers a choice, it is also an edit field whose completer
// shows every item that contains what the operator typed, in any case;
// choosing one of them is choosing that item of the list.
//
// Threading: user-interface thread only.
#pragma once

#include "DeviceListsView.h"

#include <QObject>

class QComboBox;
class QCompleter;

namespace monitor {

class DeviceRegistry;

class ComboBoxDeviceListsView final : public QObject, public DeviceListsView
{
public:
    // Both lists must outlive this view; it binds itself to the registry and
    // unbinds when it goes.
    ComboBoxDeviceListsView(DeviceRegistry& registry, QComboBox& macId, QComboBox& locateId,
                            bool findByText = false);
    ~ComboBoxDeviceListsView() override;
    ComboBoxDeviceListsView(const ComboBoxDeviceListsView&) = delete;
    ComboBoxDeviceListsView& operator=(const ComboBoxDeviceListsView&) = delete;

    void itemAppended(std::string_view key, std::string_view locateText) override;
    void itemRemoved(int position) override;
    void selectionChanged(int position) override;
    void locateIdChanged(bool enabled, LocateStyle style, std::string_view shownText) override;

    // The visible list's completer while it finds by text; null otherwise.
    QCompleter* finder() const;

private:
    void offerFinding();

    DeviceRegistry& m_registry;
    QComboBox& m_macId;
    QComboBox& m_locateId;
    const bool m_findByText;
};

} // namespace monitor
