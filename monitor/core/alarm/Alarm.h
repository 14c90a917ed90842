// Alarm: draws the operator's attention when data arrives. The frames around
// the movie and around "Clear Alarm" blink, each change with a sound, until
// the operator clears the alarm or unticks "Alarm".
//
// API (user-interface thread):
//   ArmAlarm()                 the dispatcher, after each login, position
//                              sentence and clip; starts the blinking unless
//                              it runs, and leaves its rhythm alone if it does
//   TmrAlarmTimer()            the tick of TmrAlarm
//   ToneEnded()                the sound's end handler, brought to this thread
//   SpdBtnClearAlarmClick()    "Clear Alarm"
//   ChckBxAlarmClick(ticked)   "Alarm" ticked or unticked
//   setSoundChoice(choice)     "Buzzer" or "Speaker" selected
//   setChangeReport(report)    told when the alarm starts blinking and when
//                              the operator ends it (the station's log)
//
// Each tick switches TmrAlarm off and flips both frames. With "Buzzer" it
// starts an 800 Hz tone as long as the timer's interval, and TmrAlarm stays
// off until the tone has ended: the frames change about every two seconds,
// one second of tone and one of silence, as with a tone that held the thread,
// but the tone plays on the sound's own thread, so the window and the
// dispatcher stay live while it sounds. With "Speaker" the warning sound
// plays and TmrAlarm is on again at once: a change about every second.
//
// States: quiet (TmrAlarm off, frames hidden; at start, after clearing or
// unticking) and blinking (AlarmCleared false, TmrAlarm on or a tone sounding).
#pragma once

#include "AlarmSound.h"
#include "StationTimer.h"

#include <chrono>
#include <functional>

namespace monitor {

class AlarmView;

enum class AlarmSoundChoice
{
    Buzzer,
    Speaker
};

// What changed: the alarm went off (from quiet to blinking), or the operator
// ended it with "Clear Alarm" or by unticking "Alarm".
enum class AlarmChange
{
    Raised,
    Cleared,
    SwitchedOff
};

class Alarm
{
public:
    using ChangeReport = std::function<void(AlarmChange)>;

    static constexpr std::chrono::milliseconds kTmrAlarmInterval{1000};
    static constexpr int kToneFrequencyHz = 800;

    // Sets TmrAlarm to its interval, off; the frames hidden. "Alarm" ticked,
    // "Buzzer" selected.
    Alarm(StationTimer& TmrAlarm, AlarmView& view, platform::AlarmSound& sound);

    void ArmAlarm();
    void TmrAlarmTimer();
    void ToneEnded();
    void SpdBtnClearAlarmClick();
    void ChckBxAlarmClick(bool ticked);
    void setSoundChoice(AlarmSoundChoice choice) { m_soundChoice = choice; }
    void setChangeReport(ChangeReport report) { m_changeReport = std::move(report); }
    // Blinking: armed, and neither cleared nor switched off since.
    bool Blinking() const { return !m_alarmCleared && (TmrAlarm.enabled() || m_toneSounding); }

    bool AlarmCleared() const { return m_alarmCleared; }
    AlarmSoundChoice soundChoice() const { return m_soundChoice; }
    bool alarmCircVisible() const { return m_alarmCircVisible; }
    bool clearAlarmVisible() const { return m_clearAlarmVisible; }

private:
    void showFrames();
    void clear(AlarmChange why);

    StationTimer& TmrAlarm;
    AlarmView& m_view;
    platform::AlarmSound& m_sound;
    bool m_alarmCleared = false;
    bool m_alarmTicked = true;
    AlarmSoundChoice m_soundChoice = AlarmSoundChoice::Buzzer;
    bool m_alarmCircVisible = false;
    bool m_clearAlarmVisible = false;
    // From startTone until ToneEnded.
    bool m_toneSounding = false;
    ChangeReport m_changeReport;
};

} // namespace monitor
