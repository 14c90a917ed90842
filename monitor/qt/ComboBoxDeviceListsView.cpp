#include "ComboBoxDeviceListsView.h"

#include "DeviceRegistry.h"
#include "WireText.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace monitor {

ComboBoxDeviceListsView::ComboBoxDeviceListsView(DeviceRegistry& registry, QComboBox& macId,
                                                 QComboBox& locateId)
    : m_registry(registry), m_macId(macId), m_locateId(locateId)
{
    // activated comes from the user only, never from the mirroring.
    for (QComboBox* list : {&m_macId, &m_locateId})
        connect(list, &QComboBox::activated, this,
                [this](int position) { m_registry.locateChosen(position); });
    m_registry.setListsView(this);
}

ComboBoxDeviceListsView::~ComboBoxDeviceListsView()
{
    m_registry.setListsView(nullptr);
}

void ComboBoxDeviceListsView::itemAppended(std::string_view key, std::string_view locateText)
{
    const QSignalBlocker blockMacId(m_macId);
    const QSignalBlocker blockLocateId(m_locateId);
    m_macId.addItem(shownWireText(key));
    m_locateId.addItem(shownWireText(locateText));
}

void ComboBoxDeviceListsView::itemRemoved(int position)
{
    const QSignalBlocker blockMacId(m_macId);
    const QSignalBlocker blockLocateId(m_locateId);
    m_macId.removeItem(position);
    m_locateId.removeItem(position);
}

void ComboBoxDeviceListsView::selectionChanged(int position)
{
    const QSignalBlocker blockMacId(m_macId);
    const QSignalBlocker blockLocateId(m_locateId);
    m_macId.setCurrentIndex(position);
    m_locateId.setCurrentIndex(position);
}

void ComboBoxDeviceListsView::locateIdChanged(bool enabled, LocateStyle style,
                                              std::string_view shownText)
{
    const QSignalBlocker blockLocateId(m_locateId);
    m_locateId.setEnabled(enabled);
    const bool freeText = style == LocateStyle::FreeText;
    m_locateId.setEditable(freeText);
    if (freeText)
        m_locateId.setEditText(shownWireText(shownText));
}

} // namespace monitor
