// The alarm's tone for real: played through ALSA's file device into a WAV
// file and measured with sox; and a missing device, which must mean silence
// with the tone's end still reported after its length, or at once when stopped.
#include "AlarmSound.h"

#include "ChildProcess.h"
#include "TempFolder.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

// Bounds for waiting on the sound's thread; reached only when something is wrong.
constexpr auto kEndWait = 10s;
constexpr auto kSoxLineWait = 10s;

// The value after "label" in sox's stat report, or -1.
double soxStat(const std::string& wav, const std::string& label)
{
    ChildProcess sox({testsupport::findTool("sox", "sox"), wav, "-n", "stat"},
                     ChildProcess::Output::CaptureBoth);
    while (const std::optional<std::string> line = sox.readLine(kSoxLineWait)) {
        if (line->rfind(label, 0) == 0)
            return std::stod(line->substr(line->find(':') + 1));
    }
    return -1;
}

} // namespace

TEST(AlarmSound, TheToneIs800HzForOneSecondOnTheDevice)
{
    TempFolder folder;
    const std::string wav = folder.path() + "tone.wav";
    std::promise<void> ended;
    const auto sound = platform::makeSystemAlarmSound(
        {"file:FILE=" + wav + ",FORMAT=wav", {}, [&ended] { ended.set_value(); }});
    sound->startTone({800, 1000ms});
    ASSERT_EQ(ended.get_future().wait_for(kEndWait), std::future_status::ready);

    EXPECT_NEAR(soxStat(wav, "Length (seconds)"), 1.0, 0.001);
    EXPECT_NEAR(soxStat(wav, "Rough   frequency"), 800, 8);
    EXPECT_GT(soxStat(wav, "Maximum amplitude"), 0.3) << "audible, not silence";
}

TEST(AlarmSound, WithoutADeviceTheToneIsSilenceThatStillEndsInTime)
{
    struct Case
    {
        const char* legend;
        std::chrono::milliseconds duration;
        bool stop;
        std::chrono::milliseconds notBefore;
    };
    const Case cases[] = {
        {"the end comes after the tone's length, as with a device", 300ms, false, 300ms},
        {"a stop ends a long tone at once", 1h, true, 0ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        std::promise<void> ended;
        const auto sound = platform::makeSystemAlarmSound(
            {"no_such_sound_device", {}, [&ended] { ended.set_value(); }});
        const auto start = std::chrono::steady_clock::now();
        sound->startTone({800, c.duration});
        if (c.stop)
            sound->stopTone();
        ASSERT_EQ(ended.get_future().wait_for(kEndWait), std::future_status::ready);
        EXPECT_GE(std::chrono::steady_clock::now() - start, c.notBefore);
    }
}
