// The system's alarm sounds on Linux: the tone through ALSA, the warning
// sound through libcanberra.
#include "AlarmSound.h"
#include "AlsaTonePlayer.h"
#include "CanberraWarningSound.h"

namespace platform {

namespace {

class SystemAlarmSound final : public AlarmSound
{
public:
    explicit SystemAlarmSound(AlarmSoundOptions options)
        : m_warning(std::move(options.fallbackBeep)),
          m_tone(std::move(options.pcmName), std::move(options.toneEnded))
    {
    }

    void startTone(const Tone& tone) override { m_tone.start(tone); }
    void stopTone() override { m_tone.stop(); }
    void playWarning() override { m_warning.play(); }

private:
    CanberraWarningSound m_warning;
    AlsaTonePlayer m_tone;
};

} // namespace

std::unique_ptr<AlarmSound> makeSystemAlarmSound(AlarmSoundOptions options)
{
    return std::make_unique<SystemAlarmSound>(std::move(options));
}

} // namespace platform
