// The alarm's states, driven tick by tick with the timer in the test's hand,
// shown in real widgets offscreen, with the sounds recorded.
#include "Alarm.h"

#include "RecordingSound.h"
#include "TimelineTimer.h"
#include "WidgetAlarmView.h"

#include <QLabel>
#include <QRadioButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace monitor;

using testsupport::ManualTimeline;
using testsupport::RecordingSound;
using testsupport::TimelineTimer;
using namespace std::chrono_literals;

namespace {

// A timer that records how often it was switched on: QTimer::start() restarts
// the interval even when the timer runs, so every switch-on counts.
class RecordingTimer final : public StationTimer
{
public:
    void setEnabled(bool enabled) override
    {
        m_enabled = enabled;
        if (enabled)
            ++switchOns;
    }
    bool enabled() const override { return m_enabled; }
    void setInterval(std::chrono::milliseconds interval) override { m_interval = interval; }
    std::chrono::milliseconds interval() const override { return m_interval; }

    int switchOns = 0;

private:
    bool m_enabled = true;
    std::chrono::milliseconds m_interval{0};
};

} // namespace

TEST(Alarm, BlinksWithEachSoundUntilClearedOrSwitchedOff)
{
    enum class Act
    {
        Arm,
        Tick,
        ToneEnds,
        Clear,
        Speaker,
        Buzzer,
        Untick,
        TickBox
    };
    struct Step
    {
        const char* legend;
        Act act;
        bool timerOn;
        int switchOns; // during this step
        bool framesShown;
        const char* sound; // played during this step, or ""
        bool choiceEnabled;
    };
    // One row a line.
    // clang-format off
    const Step steps[] = {
        {"arming starts the timer; the first tick comes one interval later", Act::Arm, true, 1, false, "", true},
        {"a buzzer tick shows the frames and starts the tone; the timer waits for it", Act::Tick, false, 0, true, "tone 800 Hz 1000 ms", true},
        {"an arming during the tone leaves the rhythm alone", Act::Arm, false, 0, true, "", true},
        {"the tone's end starts the next interval", Act::ToneEnds, true, 1, true, "", true},
        {"an arming while the timer runs does not restart it", Act::Arm, true, 0, true, "", true},
        {"the next tick hides the frames, with a tone", Act::Tick, false, 0, false, "tone 800 Hz 1000 ms", true},
        {"Speaker chosen during the tone changes nothing yet", Act::Speaker, false, 0, false, "", true},
        {"", Act::ToneEnds, true, 1, false, "", true},
        {"the next tick plays the warning sound and restarts at once", Act::Tick, true, 1, true, "warning", true},
        {"Clear Alarm hides both frames at once", Act::Clear, false, 0, false, "", true},
        {"a tick already queued does nothing", Act::Tick, false, 0, false, "", true},
        {"the next arming starts again, frames hidden until its first tick", Act::Arm, true, 1, false, "", true},
        {"", Act::Buzzer, true, 0, false, "", true},
        {"", Act::Tick, false, 0, true, "tone 800 Hz 1000 ms", true},
        {"unticking Alarm during the tone stops it and greys the choice", Act::Untick, false, 0, false, "stop", false},
        {"the stopped tone's end leaves the timer off", Act::ToneEnds, false, 0, false, "", false},
        {"unticked, nothing arms it", Act::Arm, false, 0, false, "", false},
        {"ticking Alarm again enables the choice, without sound or blinking", Act::TickBox, false, 0, false, "", true},
        {"the next arming starts it", Act::Arm, true, 1, false, "", true},
    };
    // clang-format on

    QWidget window;
    QLabel imgAlarmCirc(&window), imgClearAlarm(&window);
    QRadioButton rdBtnBuzzer(&window), rdBtnSpeaker(&window);
    window.show();
    WidgetAlarmView view(imgAlarmCirc, imgClearAlarm, rdBtnBuzzer, rdBtnSpeaker);
    RecordingTimer timer;
    RecordingSound sound;
    Alarm alarm(timer, view, sound);
    EXPECT_FALSE(timer.enabled()) << "off at start";
    EXPECT_FALSE(imgAlarmCirc.isVisible()) << "hidden at start";
    for (const Step& s : steps) {
        SCOPED_TRACE(s.legend);
        timer.switchOns = 0;
        sound.played.clear();
        switch (s.act) {
        case Act::Arm:
            alarm.ArmAlarm();
            break;
        case Act::Tick:
            alarm.TmrAlarmTimer();
            break;
        case Act::ToneEnds:
            alarm.ToneEnded();
            break;
        case Act::Clear:
            alarm.SpdBtnClearAlarmClick();
            break;
        case Act::Speaker:
            alarm.setSoundChoice(AlarmSoundChoice::Speaker);
            break;
        case Act::Buzzer:
            alarm.setSoundChoice(AlarmSoundChoice::Buzzer);
            break;
        case Act::Untick:
            alarm.ChckBxAlarmClick(false);
            break;
        case Act::TickBox:
            alarm.ChckBxAlarmClick(true);
            break;
        }
        EXPECT_EQ(timer.enabled(), s.timerOn);
        EXPECT_EQ(timer.switchOns, s.switchOns);
        EXPECT_EQ(imgAlarmCirc.isVisible(), s.framesShown);
        EXPECT_EQ(imgClearAlarm.isVisible(), s.framesShown);
        EXPECT_EQ(sound.played,
                  *s.sound ? std::vector<std::string>{s.sound} : std::vector<std::string>{});
        EXPECT_EQ(rdBtnBuzzer.isEnabled(), s.choiceEnabled);
        EXPECT_EQ(rdBtnSpeaker.isEnabled(), s.choiceEnabled);
    }
}

TEST(Alarm, ChangesComeOnTheSecondAndNotBefore)
{
    struct Step
    {
        const char* legend;
        std::chrono::milliseconds advance; // the clock moves on by this first
        bool toneEnds;                     // then the tone's end arrives
        bool framesShown;
        const char* sound; // played during this step, or ""
    };
    struct Case
    {
        const char* legend;
        AlarmSoundChoice choice;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"Buzzer: a second of tone, then a second of silence",
         AlarmSoundChoice::Buzzer,
         {
             {"nothing in the first second after arming", 999ms, false, false, ""},
             {"the first change a second after arming, with a second of tone", 1ms, false, true,
              "tone 800 Hz 1000 ms"},
             {"no change while the tone sounds, however long", 1500ms, false, true, ""},
             {"the tone's end starts the next second", 0ms, true, true, ""},
             {"nothing in that second", 999ms, false, true, ""},
             {"the next change a second after the tone's end", 1ms, false, false,
              "tone 800 Hz 1000 ms"},
         }},
        {"Speaker: a change and a warning every second",
         AlarmSoundChoice::Speaker,
         {
             {"nothing in the first second after arming", 999ms, false, false, ""},
             {"the first change a second after arming", 1ms, false, true, "warning"},
             {"nothing in the next second", 999ms, false, true, ""},
             {"the next change a second later", 1ms, false, false, "warning"},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        QWidget window;
        QLabel imgAlarmCirc(&window), imgClearAlarm(&window);
        QRadioButton rdBtnBuzzer(&window), rdBtnSpeaker(&window);
        window.show();
        WidgetAlarmView view(imgAlarmCirc, imgClearAlarm, rdBtnBuzzer, rdBtnSpeaker);
        ManualTimeline clock;
        TimelineTimer timer(clock);
        RecordingSound sound;
        Alarm alarm(timer, view, sound);
        timer.onTimeout([&alarm] { alarm.TmrAlarmTimer(); });
        alarm.setSoundChoice(c.choice);
        alarm.ArmAlarm();
        for (const Step& s : c.steps) {
            SCOPED_TRACE(s.legend);
            sound.played.clear();
            clock.advance(s.advance);
            if (s.toneEnds)
                alarm.ToneEnded();
            EXPECT_EQ(imgAlarmCirc.isVisible(), s.framesShown);
            EXPECT_EQ(imgClearAlarm.isVisible(), s.framesShown);
            EXPECT_EQ(sound.played,
                      *s.sound ? std::vector<std::string>{s.sound} : std::vector<std::string>{});
        }
    }
}
