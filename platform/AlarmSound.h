// The alarm's two sounds: a tone of a given pitch and length, and the desktop's
// warning sound.
//
// startTone returns at once; the tone plays on a thread of the sound's own, so
// that the window and the dispatcher stay live while it sounds. Every
// startTone is followed by exactly one call of the end handler, on that
// thread, once the tone has ended, was stopped, or could not be played; a tone
// that ends early, also for want of a sound device, is reported no sooner than
// its length, so that the alarm's rhythm does not depend on the device.
// Without a sound device both sounds are silence and nothing else.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform {

struct Tone
{
    int frequencyHz;
    std::chrono::milliseconds duration;
};

class AlarmSound
{
public:
    virtual ~AlarmSound() = default;
    // Starts a tone; a tone still sounding is stopped first.
    virtual void startTone(const Tone& tone) = 0;
    // Ends a tone that is sounding at once; nothing otherwise.
    virtual void stopTone() = 0;
    // The warning sound; returns at once.
    virtual void playWarning() = 0;
};

struct AlarmSoundOptions
{
    // The PCM device the tone plays on (an ALSA name: "default", or for a test
    // "file:FILE=/tmp/tone.wav,FORMAT=wav").
    std::string pcmName = "default";
    // Played when the desktop's warning sound cannot be; may be empty.
    std::function<void()> fallbackBeep;
    // Called on the sound's thread after each tone; must not block.
    std::function<void()> toneEnded;
};

// The system's sounds: the tone through ALSA, the warning sound from the
// freedesktop sound theme ("dialog-warning").
std::unique_ptr<AlarmSound> makeSystemAlarmSound(AlarmSoundOptions options);

} // namespace platform
