// How fast a clip reaches the screen, what opening a long raw stream costs
// beside a short one, and how fast a whole clip decodes, beside the ffmpeg
// program decoding the same file to nothing.
//
// Run: QT_QPA_PLATFORM=offscreen build/<dir>/bin/movie_bench
#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEngineSession.h"
#include "qtmovie.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <optional>

using namespace movieview;

namespace {

// A recorder-sized clip with moving content: 320x240, 25 frames a second, 10 seconds.
constexpr int kFrames = 250;
// The longest packet the receiver takes by default, as a raw stream.
constexpr qint64 kLongRawBytes = qint64{64} << 20;

// What the benchmarks share: the engine and the clips. Made by the first
// benchmark that needs it; owned by main(), so that it goes before the Qt
// application does.
struct BenchEnvironment
{
    BenchEnvironment()
    {
        shortClip = makeClip("short.mov", 1, "mov");
        longClip = makeClip("long.mov", kFrames, "mov");
        longRawClip = makeClip("long.m4v", kFrames, "m4v");
        // Noise, so that every frame is as large as a busy scene makes it.
        shortRawClip = makeClip("short.m4v", 5, "m4v", kNoise);
        hugeRawClip = repeatUpTo("huge.m4v", shortRawClip, kLongRawBytes);
    }

    static constexpr const char* kTestPattern = "testsrc=size=320x240:rate=25";
    static constexpr const char* kNoise = "nullsrc=size=320x240:rate=25,geq=random(1)*255:128:128";

    QString makeClip(const char* name, int frames, const char* format,
                     const char* source = kTestPattern)
    {
        const QString path = folder.filePath(name);
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                source, "-frames:v", QString::number(frames), "-c:v", "mpeg4",
                                "-q:v", "4", "-f", format, path});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
            std::abort();
        QFile file(path);
        if (!file.open(QIODevice::Append) || file.write("\0", 1) != 1)
            std::abort();
        return path;
    }

    // A raw stream of at least `size` bytes: the clip's stream again and again.
    QString repeatUpTo(const char* name, const QString& clip, qint64 size)
    {
        QFile in(clip);
        if (!in.open(QIODevice::ReadOnly))
            std::abort();
        const QByteArray stream = in.readAll().chopped(1); // without the zero byte
        const QString path = folder.filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            std::abort();
        while (out.size() < size)
            if (out.write(stream) != stream.size())
                std::abort();
        out.write("\0", 1);
        return path;
    }

    MovieEngineSession session;
    QTemporaryDir folder;
    QString shortClip;
    QString longClip;
    QString longRawClip;
    QString shortRawClip;
    QString hugeRawClip;
};

// main()'s, alive while the benchmarks run.
std::optional<BenchEnvironment>* g_environment = nullptr;

BenchEnvironment& environment()
{
    if (!*g_environment)
        g_environment->emplace();
    return **g_environment;
}

void showFileName(benchmark::State& state, const QString& path)
{
    TQTMovie view;
    view.resize(320, 240);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view.setFileName(path);
        view.repaint(); // paints now: the controller draws the frame into the control
        benchmark::DoNotOptimize(view.movie());
    }
    state.counters["clip_MiB"] = static_cast<double>(QFileInfo(path).size()) / (1 << 20);
}

// Setting FileName until the first frame is painted into the control.
void BM_FileNameToFirstFrame(benchmark::State& state)
{
    showFileName(state, environment().shortClip);
}
BENCHMARK(BM_FileNameToFirstFrame)->Unit(benchmark::kMillisecond);

// The same for raw streams, which carry no duration: a clip of five frames and
// one of 64 MiB with the same frames. Opening runs on the user-interface
// thread, under the queue's lock, so it must not grow with the clip.
void BM_FileNameToFirstFrameRaw(benchmark::State& state)
{
    BenchEnvironment& env = environment();
    showFileName(state, state.range(0) == 0 ? env.shortRawClip : env.hugeRawClip);
}
BENCHMARK(BM_FileNameToFirstFrameRaw)
    ->ArgName("huge")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

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

// The ffmpeg program decoding a clip to nothing, process start included.
void ffmpegToNothing(benchmark::State& state, const QString& clip, const QStringList& limit)
{
    for (auto _ : state) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-i", clip} +
                                   limit + QStringList{"-f", "null", "-"});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
}

// Beside BM_DecodeWholeClip.
void BM_FfmpegNullOutput(benchmark::State& state)
{
    ffmpegToNothing(state, environment().longClip, {});
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_FfmpegNullOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

// Beside BM_FileNameToFirstFrame: the first frame of the same clip.
void BM_FfmpegFirstFrame(benchmark::State& state)
{
    ffmpegToNothing(state, environment().shortClip, {"-frames:v", "1"});
}
BENCHMARK(BM_FfmpegFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Declared after the application, so destroyed before it: engine objects
    // and widgets never outlive Qt.
    std::optional<BenchEnvironment> environment;
    g_environment = &environment;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_environment = nullptr;
    return 0;
}
