// What the window shows of the alarm: the two blinking frames and whether the
// sound choice ("Buzzer", "Speaker") can be changed.
#pragma once

namespace monitor {

class AlarmView
{
public:
    virtual ~AlarmView() = default;
    // ImgAlarmCirc around the movie, ImgClearAlarm around the clear button.
    virtual void showFrames(bool alarmCircVisible, bool clearAlarmVisible) = 0;
    // RdBtnBuzzer and RdBtnSpeaker.
    virtual void enableSoundChoice(bool enabled) = 0;
};

} // namespace monitor
