// A drop-down list that says when its list opens and closes, the two moments
// when the operator is busy choosing and the station must not pull another
// window to the front.
#pragma once

#include <QComboBox>
#include <QPointer>

namespace monitor {

class DropDownList : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;
    void hidePopup() override;

signals:
    // Each closedUp follows one droppedDown, however the list closed: chosen,
    // cancelled, clicked away, or never shown because it was empty.
    void droppedDown();
    void closedUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void closeUp();

    bool m_open = false;
    // The toolkit's popup, watched for being hidden: a click elsewhere hides it
    // without hidePopup().
    QPointer<QWidget> m_popup;
};

} // namespace monitor
