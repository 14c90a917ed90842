// The archive reader over a year-sized archive that make-year-archive made:
// listing the days, a day's recorders, opening one recorder's day (every
// position file read and parsed, the clips listed), and exporting a day's GPX.
//
//   STATION_BENCH_ARCHIVE=<archive folder> STATION_BENCH_DAY=2026-12-08
//   STATION_BENCH_KEY=BUS-01_1 archive_reader_bench
//
// The day and key name a recorder-day at full density; run-year-bench sets
// them from what make-year-archive printed.
#include "ArchiveReader.h"
#include "ExportCommand.h"
#include "ExportFiles.h"
#include "GpxExport.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace archive;

namespace {

struct Setup
{
    std::string folder;
    Date day;
    std::string key;
    std::string error; // why the benchmarks cannot run
};

const Setup& setup()
{
    static const Setup s = [] {
        Setup r;
        const char* folder = std::getenv("STATION_BENCH_ARCHIVE");
        const char* day = std::getenv("STATION_BENCH_DAY");
        const char* key = std::getenv("STATION_BENCH_KEY");
        if (!folder || !day || !key) {
            r.error = "set STATION_BENCH_ARCHIVE, STATION_BENCH_DAY and STATION_BENCH_KEY "
                      "(bench/archive/run-year-bench does)";
            return r;
        }
        const auto date = parseDate(day);
        if (!date) {
            r.error = std::string("STATION_BENCH_DAY is not a date: ") + day;
            return r;
        }
        r.folder = folder;
        r.day = *date;
        r.key = key;
        return r;
    }();
    return s;
}

bool ready(benchmark::State& state)
{
    if (!setup().error.empty()) {
        state.SkipWithError(setup().error.c_str());
        return false;
    }
    return true;
}

void ListDays(benchmark::State& state)
{
    if (!ready(state))
        return;
    const ArchiveReader reader(setup().folder);
    std::size_t days = 0;
    for (auto _ : state)
        days = reader.days().size();
    state.counters["days"] = static_cast<double>(days);
}
BENCHMARK(ListDays)->Unit(benchmark::kMillisecond);

void ListRecordersOfADay(benchmark::State& state)
{
    if (!ready(state))
        return;
    const ArchiveReader reader(setup().folder);
    std::size_t recorders = 0;
    for (auto _ : state)
        recorders = reader.recorders(setup().day).size();
    state.counters["recorders"] = static_cast<double>(recorders);
}
BENCHMARK(ListRecordersOfADay)->Unit(benchmark::kMillisecond);

// What the browser does on picking a day and a recorder: the day's recorders,
// the recorder's folder, every position parsed and the clips listed.
void OpenRecorderDay(benchmark::State& state)
{
    if (!ready(state))
        return;
    const ArchiveReader reader(setup().folder);
    std::size_t positions = 0, clips = 0;
    for (auto _ : state) {
        const auto folder = reader.folderOfKey(setup().day, setup().key);
        const auto day = folder ? reader.recorderDay(setup().day, *folder) : std::nullopt;
        if (!day) {
            state.SkipWithError("no such recorder-day in the archive");
            return;
        }
        positions = day->positions.size();
        clips = day->clips.size();
        benchmark::DoNotOptimize(day);
    }
    state.counters["positions"] = static_cast<double>(positions);
    state.counters["clips"] = static_cast<double>(clips);
}
BENCHMARK(OpenRecorderDay)->Unit(benchmark::kMillisecond);

// The whole export command: the day read, its GPX written to a file.
void ExportDayGpx(benchmark::State& state)
{
    if (!ready(state))
        return;
    const std::string out =
        (std::filesystem::temp_directory_path() / "archive-reader-bench.gpx").string();
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream stdOut, stdErr;
        const int code =
            runExportCommand({"export", "--day", formatDate(setup().day), "--key", setup().key,
                              "--gpx", out, "--archive", setup().folder, "--force"},
                             stdOut, stdErr);
        if (code != kExportDone) {
            state.SkipWithError(stdErr.str().c_str());
            return;
        }
    }
    bytes = std::filesystem::file_size(out);
    std::filesystem::remove(out);
    state.counters["gpx_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(ExportDayGpx)->Unit(benchmark::kMillisecond);

} // namespace
