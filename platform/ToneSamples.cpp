#include "ToneSamples.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {

void toneSamples(const ToneShape& shape, std::size_t first, std::span<std::int16_t> out)
{
    const std::size_t fade =
        std::max<std::size_t>(1, static_cast<std::size_t>(shape.sampleRate) * kToneFadeMs / 1000);
    const double step = 2.0 * std::numbers::pi * shape.frequencyHz / shape.sampleRate;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t n = first + i;
        if (n >= shape.totalSamples) {
            out[i] = 0;
            continue;
        }
        const std::size_t edge = std::min(n, shape.totalSamples - 1 - n);
        const double gain =
            edge < fade ? static_cast<double>(edge) / static_cast<double>(fade) : 1.0;
        out[i] = static_cast<std::int16_t>(
            std::lround(kToneAmplitude * gain * std::sin(step * static_cast<double>(n))));
    }
}

} // namespace platform
