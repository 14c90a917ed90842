#include "RoundTripStats.h"

#include <algorithm>
#include <cmath>

namespace recorder {

void RoundTripStats::merge(const RoundTripStats& other)
{
    m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
}

RoundTripStats::Duration RoundTripStats::percentile(double p) const
{
    if (m_samples.empty())
        return Duration::zero();
    std::vector<Duration> sorted = m_samples;
    // Nearest rank: the smallest sample with at least p percent of the samples at or below it.
    const double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()));
    const std::size_t index =
        std::clamp<std::size_t>(static_cast<std::size_t>(rank), 1, sorted.size()) - 1;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(index),
                     sorted.end());
    return sorted[index];
}

RoundTripStats::Duration RoundTripStats::min() const
{
    if (m_samples.empty())
        return Duration::zero();
    return *std::min_element(m_samples.begin(), m_samples.end());
}

} // namespace recorder
