#include "WidgetAlarmView.h"

#include <QWidget>

namespace monitor {

void WidgetAlarmView::showFrames(bool alarmCircVisible, bool clearAlarmVisible)
{
    m_imgAlarmCirc.setVisible(alarmCircVisible);
    m_imgClearAlarm.setVisible(clearAlarmVisible);
}

void WidgetAlarmView::enableSoundChoice(bool enabled)
{
    m_rdBtnBuzzer.setEnabled(enabled);
    m_rdBtnSpeaker.setEnabled(enabled);
}

} // namespace monitor
