#include "LabelDeviceDetailsView.h"

#include "FittedText.h"
#include "WireText.h"

#include <QLabel>

namespace monitor {

void LabelDeviceDetailsView::showDetails(const DeviceDetails& details)
{
    // The labels take the width of their text. What the recorder sent may be
    // of any length and is cut before the next control; the numbers and
    // times fit as they are.
    const auto show = [](QLabel* label, const std::string& text) {
        label->setText(shownWireText(text));
        label->adjustSize();
    };
    const auto fit = [](QLabel* label, const std::string& text) {
        showFitted(*label, shownWireText(text), roomToTheRight(*label));
        label->adjustSize();
    };
    fit(m_labels.LblUN, details.LblUN);
    fit(m_labels.LblID, details.LblID);
    fit(m_labels.LblLoc, details.LblLoc);
    fit(m_labels.LblDept, details.LblDept);
    show(m_labels.LblCon, details.LblCon);
    show(m_labels.LblConStart, details.LblConStart);
}

} // namespace monitor
