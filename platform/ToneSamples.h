// Samples of a sine tone, made apart from any sound device: signed 16-bit
// mono, with a short fade at both ends so that the tone starts and stops
// without a click.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

struct ToneShape
{
    int frequencyHz;
    int sampleRate;
    std::size_t totalSamples; // the tone's whole length
};

inline constexpr std::int16_t kToneAmplitude = 12000; // about -8.7 dBFS
inline constexpr int kToneFadeMs = 5;

// Fills out with the tone's samples from sample index first on; samples past
// the tone's end are silence.
void toneSamples(const ToneShape& shape, std::size_t first, std::span<std::int16_t> out);

} // namespace platform
