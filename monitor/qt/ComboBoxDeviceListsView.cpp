#include "ComboBoxDeviceListsView.h"

#include "DeviceRegistry.h"
#include "WireText.h"

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>

namespace monitor {

ComboBoxDeviceListsView::ComboBoxDeviceListsView(DeviceRegistry& registry, QComboBox& macId,
                                                 QComboBox& locateId, bool findByText)
    : m_registry(registry), m_macId(macId), m_locateId(locateId), m_findByText(findByText)
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
    m_locateId.setEditable(freeText || m_findByText);
    if (freeText)
        m_locateId.setEditText(shownWireText(shownText));
    else if (m_findByText)
        offerFinding();
}

// The edit field's own completer, made again whenever the list becomes
// editable (the field and its completer go with each switch back).
void ComboBoxDeviceListsView::offerFinding()
{
    if (finder() && finder()->filterMode() == Qt::MatchContains)
        return;
    m_locateId.setInsertPolicy(QComboBox::NoInsert);
    auto* completer = new QCompleter(m_locateId.model(), &m_locateId);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    m_locateId.setCompleter(completer);
    connect(completer, qOverload<const QModelIndex&>(&QCompleter::activated), this,
            [this, completer](const QModelIndex& found) {
                const auto* proxy =
                    qobject_cast<const QAbstractProxyModel*>(completer->completionModel());
                const int position = proxy ? proxy->mapToSource(found).row() : -1;
                if (position >= 0)
                    m_registry.locateChosen(position);
            });
}

QCompleter* ComboBoxDeviceListsView::finder() const
{
    return m_locateId.lineEdit() ? m_locateId.completer() : nullptr;
}

} // namespace monitor
