// The archive browser's window, offscreen, over an archive made by
// bench/archive/make-year-archive: the time from choosing a recorder of a day
// to the window painted with its timeline and route (the recorder's files read,
// their sentences parsed), and the time to open the archive (its days listed).
//
//   STATION_BENCH_ARCHIVE=FOLDER STATION_BENCH_DAY=2026-12-08
//   STATION_BENCH_KEY=BUS-12_1 archive_browser_bench     (one command line)
#include "ArchiveWindow.h"
#include "MovieEngineSession.h"

#include <QApplication>
#include <QListWidget>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

struct Target
{
    const char* folder = std::getenv("STATION_BENCH_ARCHIVE");
    const char* day = std::getenv("STATION_BENCH_DAY");
    const char* key = std::getenv("STATION_BENCH_KEY");
    bool given() const { return folder && day && key; }
};

void BM_OpenArchive(benchmark::State& state)
{
    const Target target;
    if (!target.given())
        return state.SkipWithError(
            "set STATION_BENCH_ARCHIVE, STATION_BENCH_DAY and STATION_BENCH_KEY");
    for (auto _ : state) {
        archive::ArchiveWindow window(target.folder);
        benchmark::DoNotOptimize(window.dayList()->count());
    }
}
BENCHMARK(BM_OpenArchive)->Unit(benchmark::kMillisecond);

void BM_ChooseRecorderDayAndPaint(benchmark::State& state)
{
    const Target target;
    if (!target.given())
        return state.SkipWithError(
            "set STATION_BENCH_ARCHIVE, STATION_BENCH_DAY and STATION_BENCH_KEY");
    archive::ArchiveWindow window(target.folder);
    window.resize(1100, 720);
    window.show();
    archive::ArchiveBrowser& browser = window.browser();
    for (auto _ : state) {
        browser.chooseDay(-1);
        if (!browser.chooseByName(target.day, target.key))
            return state.SkipWithError("no such day and recorder in the archive");
        benchmark::DoNotOptimize(window.grab());
    }
    state.counters["positions"] = static_cast<double>(browser.positionSeconds().size());
    state.counters["clips"] = static_cast<double>(browser.clipSeconds().size());
}
BENCHMARK(BM_ChooseRecorderDayAndPaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    movieview::MovieEngineSession engine;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
