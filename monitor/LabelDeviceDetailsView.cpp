#include "LabelDeviceDetailsView.h"

#include "WireText.h"

#include <QLabel>

namespace monitor {

void LabelDeviceDetailsView::showDetails(const DeviceDetails& details)
{
    m_labels.LblUN->setText(fromWireText(details.LblUN));
    m_labels.LblID->setText(fromWireText(details.LblID));
    m_labels.LblLoc->setText(fromWireText(details.LblLoc));
    m_labels.LblDept->setText(fromWireText(details.LblDept));
    m_labels.LblCon->setText(fromWireText(details.LblCon));
    m_labels.LblConStart->setText(fromWireText(details.LblConStart));
}

} // namespace monitor
