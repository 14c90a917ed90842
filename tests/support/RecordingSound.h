// An alarm sound that plays nothing and records what it was asked to play.
#pragma once

#include "AlarmSound.h"

#include <string>
#include <vector>

namespace testsupport {

class RecordingSound final : public platform::AlarmSound
{
public:
    void startTone(const platform::Tone& tone) override
    {
        played.push_back("tone " + std::to_string(tone.frequencyHz) + " Hz " +
                         std::to_string(tone.duration.count()) + " ms");
    }
    void stopTone() override { played.push_back("stop"); }
    void playWarning() override { played.push_back("warning"); }

    std::vector<std::string> played;
};

} // namespace testsupport
