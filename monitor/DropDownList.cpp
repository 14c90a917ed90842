#include "DropDownList.h"

namespace monitor {

void DropDownList::showPopup()
{
    emit droppedDown();
    QComboBox::showPopup();
}

void DropDownList::hidePopup()
{
    QComboBox::hidePopup();
    emit closedUp();
}

} // namespace monitor
