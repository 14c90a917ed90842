// How long a position sentence holds the user-interface thread: written to a
// pty whose reader keeps up (the goal is well under a millisecond, since the
// dispatcher writes under the queue lock), and written to a pty whose reader
// has stopped (never more than the 500 ms port wait).
#include "GpsForwarder.h"
#include "ManualTimer.h"
#include "PtyPair.h"
#include "WindowSystem.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>
#include <vector>

namespace {

using std::chrono::duration;
using std::chrono::steady_clock;

const std::string kSentence =
    "$GPRMC,152505.00,A,5547.82113,N,02334.14130,E,0.253,,091209,,,A*7A\r\n";

struct Bench
{
    testsupport::PtyPair pty;
    testsupport::ManualTimer gpsTimer;
    testsupport::ManualTimer initGpsTimer;
    std::unique_ptr<platform::WindowSystem> windows = platform::makeNullWindowSystem();
    monitor::GpsForwarder forwarder{
        gpsTimer, initGpsTimer, *windows, {"/nonexistent/", pty.devicePath()}};

    Bench() { forwarder.OpenPort(); }
};

void reportPercentiles(benchmark::State& state, std::vector<double>& microseconds)
{
    std::sort(microseconds.begin(), microseconds.end());
    auto at = [&](double q) {
        return microseconds[static_cast<std::size_t>(q *
                                                     static_cast<double>(microseconds.size() - 1))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = microseconds.back();
}

void SendGpsSentence_ReaderKeepsUp(benchmark::State& state)
{
    Bench b;
    std::atomic<bool> stop{false};
    std::jthread reader([&] {
        while (!stop)
            b.pty.read(1 << 16, std::chrono::milliseconds(10));
    });
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = steady_clock::now();
        b.forwarder.SendGpsSentence(kSentence);
        samples.push_back(duration<double, std::micro>(steady_clock::now() - start).count());
    }
    stop = true;
    reportPercentiles(state, samples);
}
BENCHMARK(SendGpsSentence_ReaderKeepsUp)->Iterations(20000);

void SendGpsSentence_ReaderStopped(benchmark::State& state)
{
    Bench b;
    b.pty.fillUntilFull();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = steady_clock::now();
        b.forwarder.SendGpsSentence(kSentence);
        samples.push_back(duration<double, std::micro>(steady_clock::now() - start).count());
    }
    reportPercentiles(state, samples);
}
BENCHMARK(SendGpsSentence_ReaderStopped)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace
