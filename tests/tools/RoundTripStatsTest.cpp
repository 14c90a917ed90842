// Nearest-rank percentiles of acknowledgement round trips.
#include "RoundTripStats.h"

#include <gtest/gtest.h>

using recorder::RoundTripStats;
using std::chrono::nanoseconds;

namespace {

// n, n - 1, ..., 1: out of order on purpose.
std::vector<long> descending(long n)
{
    std::vector<long> v;
    for (long i = n; i >= 1; --i)
        v.push_back(i);
    return v;
}

} // namespace

TEST(RoundTripStats, NearestRankPercentiles)
{
    struct Case
    {
        const char* legend;
        std::vector<long> samples;
        long min, median, p99;
    };
    const Case cases[] = {
        {"no samples", {}, 0, 0, 0},
        {"one sample", {7}, 7, 7, 7},
        {"even count takes the lower middle", {4, 1, 3, 2}, 1, 2, 4},
        {"p99 of 100 is the 99th", descending(100), 1, 50, 99},
        {"p99 of 200 is the 198th", descending(200), 1, 100, 198},
    };
    for (const auto& c : cases) {
        RoundTripStats stats;
        const std::vector<long>& samples = c.samples;
        RoundTripStats half; // merged in, as the sessions' figures are
        for (std::size_t i = 0; i < samples.size(); ++i)
            (i % 2 ? stats : half).add(nanoseconds(samples[i]));
        stats.merge(half);
        EXPECT_EQ(stats.count(), samples.size()) << c.legend;
        EXPECT_EQ(stats.min().count(), c.min) << c.legend;
        EXPECT_EQ(stats.median().count(), c.median) << c.legend;
        EXPECT_EQ(stats.percentile(99).count(), c.p99) << c.legend;
    }
}
