// The alarm shown in the window: the two frame pictures and the two radio buttons.
//
// Threading: user-interface thread only.
#pragma once

#include "AlarmView.h"

class QWidget;

namespace monitor {

class WidgetAlarmView final : public AlarmView
{
public:
    // The widgets must outlive this view.
    WidgetAlarmView(QWidget& imgAlarmCirc, QWidget& imgClearAlarm, QWidget& rdBtnBuzzer,
                    QWidget& rdBtnSpeaker)
        : m_imgAlarmCirc(imgAlarmCirc), m_imgClearAlarm(imgClearAlarm), m_rdBtnBuzzer(rdBtnBuzzer),
          m_rdBtnSpeaker(rdBtnSpeaker)
    {
    }

    void showFrames(bool alarmCircVisible, bool clearAlarmVisible) override;
    void enableSoundChoice(bool enabled) override;

private:
    QWidget& m_imgAlarmCirc;
    QWidget& m_imgClearAlarm;
    QWidget& m_rdBtnBuzzer;
    QWidget& m_rdBtnSpeaker;
};

} // namespace monitor
