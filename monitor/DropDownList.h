// A drop-down list that says when its list opens and closes, the two moments
// when the operator is busy choosing and the station must not pull another
// window to the front.
#pragma once

#include <QComboBox>

namespace monitor {

class DropDownList : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;
    void hidePopup() override;

signals:
    void droppedDown();
    void closedUp();
};

} // namespace monitor
