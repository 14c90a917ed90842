// How fast a clip reaches the screen and how fast a whole clip decodes, beside
// the ffmpeg program decoding the same file to nothing.
//
// Run: QT_QPA_PLATFORM=offscreen build/<dir>/bin/movie_bench
#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEngineSession.h"
#include "qtmovie.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>

using namespace movieview;

namespace {

// A recorder-sized clip with moving content: 320x240, 25 frames a second, 10 seconds.
constexpr int kFrames = 250;

struct BenchEnvironment
{
    BenchEnvironment()
    {
        shortClip = makeClip("short.mov", 1, "mov");
        longClip = makeClip("long.mov", kFrames, "mov");
        longRawClip = makeClip("long.m4v", kFrames, "m4v");
    }

    QString makeClip(const char* name, int frames, const char* format)
    {
        const QString path = folder.filePath(name);
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                      "testsrc=size=320x240:rate=25", "-frames:v", QString::number(frames), "-c:v",
                      "mpeg4", "-q:v", "4", "-f", format, path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
            std::abort();
        QFile file(path);
        if (!file.open(QIODevice::Append) || file.write("\0", 1) != 1)
            std::abort();
        return path;
    }

    static int& argc()
    {
        static int count = 1;
        return count;
    }
    static char** argv()
    {
        static char name[] = "movie_bench";
        static char* args[] = {name, nullptr};
        return args;
    }

    QApplication app{argc(), argv()};
    MovieEngineSession session;
    QTemporaryDir folder;
    QString shortClip;
    QString longClip;
    QString longRawClip;
};

BenchEnvironment& environment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static BenchEnvironment env;
    return env;
}

// Setting FileName until the first frame is painted into the control.
void BM_FileNameToFirstFrame(benchmark::State& state)
{
    BenchEnvironment& env = environment();
    TQTMovie view;
    view.resize(320, 240);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view.setFileName(env.shortClip);
        view.repaint(); // paints now: the controller draws the frame into the control
        benchmark::DoNotOptimize(view.movie());
    }
}
BENCHMARK(BM_FileNameToFirstFrame)->Unit(benchmark::kMillisecond);

// Opening and decoding every frame of a clip into 32-bit pixels.
void decodeWhole(benchmark::State& state, const QString& path)
{
    const std::string file = QFile::encodeName(path).toStdString();
    std::int64_t frames = 0;
    for (auto _ : state) {
        MovieErrorCode code = 0;
        std::optional<MovieDecoder> decoder =
            MovieDecoder::open(MovieDecoder::openFile(file, code), code);
        if (!decoder) {
            state.SkipWithError("clip did not open");
            return;
        }
        MovieFrame frame;
        while (decoder->decodeNext(frame) == MovieDecoder::Outcome::Frame)
            ++frames;
    }
    state.SetItemsProcessed(frames);
    state.counters["frames_per_clip"] =
        static_cast<double>(frames) / static_cast<double>(state.iterations());
}

void BM_DecodeWholeClip(benchmark::State& state)
{
    decodeWhole(state, environment().longClip);
}
BENCHMARK(BM_DecodeWholeClip)->Unit(benchmark::kMillisecond);

void BM_DecodeWholeRawClip(benchmark::State& state)
{
    decodeWhole(state, environment().longRawClip);
}
BENCHMARK(BM_DecodeWholeRawClip)->Unit(benchmark::kMillisecond);

// The ffmpeg program decoding the same clip to nothing, process start included.
void BM_FfmpegNullOutput(benchmark::State& state)
{
    const QString clip = environment().longClip;
    for (auto _ : state) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-hide_banner", "-loglevel", "error", "-i", clip, "-f", "null", "-"});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_FfmpegNullOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
