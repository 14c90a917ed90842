#include "LabelDeviceDetailsView.h"

#include "WireText.h"

#include <QLabel>

namespace monitor {

void LabelDeviceDetailsView::showDetails(const DeviceDetails& details)
{
    // The labels take the width of their text.
    const auto show = [](QLabel* label, const std::string& text) {
        label->setText(shownWireText(text));
        label->adjustSize();
    };
    show(m_labels.LblUN, details.LblUN);
    show(m_labels.LblID, details.LblID);
    show(m_labels.LblLoc, details.LblLoc);
    show(m_labels.LblDept, details.LblDept);
    show(m_labels.LblCon, details.LblCon);
    show(m_labels.LblConStart, details.LblConStart);
}

} // namespace monitor
