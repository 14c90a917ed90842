#include "Alarm.h"

#include "AlarmView.h"

namespace monitor {

Alarm::Alarm(StationTimer& timer, AlarmView& view, platform::AlarmSound& sound)
    : TmrAlarm(timer), m_view(view), m_sound(sound)
{
    TmrAlarm.setEnabled(false);
    TmrAlarm.setInterval(kTmrAlarmInterval);
    showFrames();
    m_view.enableSoundChoice(m_alarmTicked);
}

void Alarm::ArmAlarm()
{
    if (!m_alarmTicked)
        return;
    const bool wasBlinking = Blinking();
    m_alarmCleared = false;
    // While a tone sounds the blinking runs, with TmrAlarm off until the tone ends.
    if (!TmrAlarm.enabled() && !m_toneSounding)
        TmrAlarm.setEnabled(true);
    if (!wasBlinking && m_changeReport)
        m_changeReport(AlarmChange::Raised);
}

void Alarm::TmrAlarmTimer()
{
    if (m_alarmCleared)
        return;
    TmrAlarm.setEnabled(false);
    m_alarmCircVisible = !m_alarmCircVisible;
    m_clearAlarmVisible = !m_clearAlarmVisible;
    showFrames();
    if (m_soundChoice == AlarmSoundChoice::Buzzer) {
        m_toneSounding = true;
        m_sound.startTone({kToneFrequencyHz, TmrAlarm.interval()});
        return; // ToneEnded switches TmrAlarm on again
    }
    m_sound.playWarning();
    TmrAlarm.setEnabled(true);
}

void Alarm::ToneEnded()
{
    m_toneSounding = false;
    if (!m_alarmCleared)
        TmrAlarm.setEnabled(true);
}

void Alarm::SpdBtnClearAlarmClick()
{
    clear(AlarmChange::Cleared);
}

void Alarm::clear(AlarmChange why)
{
    const bool wasBlinking = Blinking();
    TmrAlarm.setEnabled(false);
    m_alarmCleared = true;
    m_alarmCircVisible = false;
    m_clearAlarmVisible = false;
    showFrames();
    if (m_toneSounding)
        m_sound.stopTone();
    if (wasBlinking && m_changeReport)
        m_changeReport(why);
}

void Alarm::ChckBxAlarmClick(bool ticked)
{
    m_alarmTicked = ticked;
    if (!ticked)
        clear(AlarmChange::SwitchedOff);
    m_view.enableSoundChoice(ticked);
}

void Alarm::showFrames()
{
    m_view.showFrames(m_alarmCircVisible, m_clearAlarmVisible);
}

} // namespace monitor
