// Acknowledgement round trips of one or many connections: min, median, p99.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

namespace recorder {

class RoundTripStats
{
public:
    using Duration = std::chrono::nanoseconds;

    void add(Duration d) { m_samples.push_back(d); }
    void merge(const RoundTripStats& other);
    std::size_t count() const { return m_samples.size(); }

    // Nearest-rank percentile, 0 < p <= 100; zero when there are no samples.
    Duration percentile(double p) const;
    Duration min() const;
    Duration median() const { return percentile(50.0); }

private:
    std::vector<Duration> m_samples;
};

} // namespace recorder
