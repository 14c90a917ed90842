#include "DropDownList.h"

#include <QAbstractItemView>
#include <QEvent>
#include <utility>

namespace monitor {

void DropDownList::showPopup()
{
    m_open = true;
    emit droppedDown();
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (popup != m_popup) {
        popup->installEventFilter(this);
        m_popup = popup;
    }
    if (!popup->isVisible()) // an empty list opens no popup
        closeUp();
}

void DropDownList::hidePopup()
{
    QComboBox::hidePopup();
    closeUp();
}

bool DropDownList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_popup && event->type() == QEvent::Hide)
        closeUp();
    return QComboBox::eventFilter(watched, event);
}

void DropDownList::closeUp()
{
    if (std::exchange(m_open, false))
        emit closedUp();
}

} // namespace monitor
