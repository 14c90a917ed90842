// How long the archive holds the user-interface thread (and with it the event
// queue's lock, while recorders wait for their acknowledgements): a position
// sentence, and a 300 kB clip of the selected recorder with archiving on,
// saved and shown in a real movie view. Reports the median and the 99th
// percentile of single calls; goals: under 1 ms and under 10 ms.
//
// Run: QT_QPA_PLATFORM=offscreen build/<dir>/bin/archive_bench
#include "Archive.h"
#include "ArchiveNames.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "MovieClipViewer.h"
#include "MovieEngineSession.h"
#include "qtmovie.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

using namespace monitor;

namespace {

constexpr std::size_t kClipBytes = 300 * 1024;
constexpr const char* kKey = "AB12_3";
constexpr const char* kSentence =
    "$GPRMC,143005.00,A,5230.1234,N,01324.5678,E,12.5,87.3,061226,,,A*6C";

struct BenchEnvironment
{
    BenchEnvironment()
    {
        // A recorder-like clip with moving content, cut to about 300 kB.
        const QString path = folder.filePath("clip.mov");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "testsrc=size=320x240:rate=25", "-t", "8", "-c:v", "mpeg4", "-b:v",
                                "180k", "-f", "mov", path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
            std::abort();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        const QByteArray bytes = file.readAll();
        clip.assign(bytes.begin(), bytes.end());
        clip.push_back(0); // the receiver's zero byte
    }

    static int& argc()
    {
        static int count = 1;
        return count;
    }
    static char** argv()
    {
        static char name[] = "archive_bench";
        static char* args[] = {name, nullptr};
        return args;
    }

    QApplication app{argc(), argv()};
    movieview::MovieEngineSession session;
    QTemporaryDir folder;
    std::vector<std::uint8_t> clip;
};

BenchEnvironment& environment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static BenchEnvironment env;
    return env;
}

// One archive in a fresh program folder, the recorder listed and selected.
struct Station
{
    explicit Station(const std::string& programFolder) : archive(programFolder, clock, lists)
    {
        lists.append(kKey, "Loc_1");
        lists.select(0);
        archive.BuildDayFolder();
    }

    testsupport::ManualClock clock{{2026, 12, 6, 8, 0, 0, 0}};
    DeviceLists lists;
    Archive archive;
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void percentiles(benchmark::State& state, const char* name, std::vector<double>& ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters[std::string(name) + "_median_ms"] = ms[ms.size() / 2];
    state.counters[std::string(name) + "_p99_ms"] =
        ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

// Times single calls by hand: the wall time on the calling thread, and that
// thread's processor time (which a loaded machine does not stretch).
template <typename Call, typename Tidy>
void timeCalls(benchmark::State& state, Call&& call, Tidy&& tidy)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (auto _ : state) {
        const double cpuStart = threadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        call();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        cpu.push_back(threadCpuMs() - cpuStart);
        state.SetIterationTime(took.count() / 1000.0);
        wall.push_back(took.count());
        tidy();
    }
    percentiles(state, "wall", wall);
    percentiles(state, "cpu", cpu);
}

void BM_StorePositionSentence(benchmark::State& state)
{
    QTemporaryDir folder;
    Station station(folder.path().toStdString() + "/");
    timeCalls(
        state, [&] { station.archive.StorePositionSentence(kKey, kSentence); },
        [&] { station.clock.advance(1000); });
}
BENCHMARK(BM_StorePositionSentence)
    ->UseManualTime()
    ->Iterations(5000)
    ->Unit(benchmark::kMicrosecond);

void BM_StoreClipShown(benchmark::State& state)
{
    BenchEnvironment& env = environment();
    QTemporaryDir folder;
    Station station(folder.path().toStdString() + "/");
    movieview::TQTMovie view;
    view.resize(320, 240);
    view.show();
    QCoreApplication::processEvents();
    MovieClipViewer viewer(view);
    station.archive.setClipViewer(&viewer);
    state.counters["clip_bytes"] = static_cast<double>(env.clip.size());
    timeCalls(
        state, [&] { station.archive.StoreClip(kKey, env.clip, "2"); },
        [&] {
            if (!view.HasPicture())
                state.SkipWithError("the clip was not shown");
            view.repaint(); // the first frame reaches the screen after the handler
            std::filesystem::remove(station.archive.DeviceFolder(kKey) + "/" +
                                    archive::ClipFile(station.clock.now(), "2"));
            station.clock.advance(1000);
        });
}
BENCHMARK(BM_StoreClipShown)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);

} // namespace
