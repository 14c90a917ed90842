// The FFmpeg layer on real clips: what opens, natural sizes, durations,
// frames and rewinding, and how failures are coded.
#include "MovieDecoder.h"

#include "FfmpegErrorMapping.h"
#include "TestClips.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace movieview;
using namespace movietest;

namespace {

std::optional<MovieDecoder> openClip(const QString& path, MovieErrorCode& code)
{
    AvIoPtr file = MovieDecoder::openFile(QFile::encodeName(path).toStdString(), code);
    if (!file)
        return std::nullopt;
    return MovieDecoder::open(std::move(file), code);
}

struct ClipCase
{
    const char* legend;
    const ClipSpec* clip;
};

const ClipCase kClips[] = {
    {"320x240 in a container", &clips::red320Mov},  {"176x144 in a container", &clips::red176Mov},
    {"320x240 raw stream", &clips::red320Raw},      {"176x144 raw stream", &clips::red176Raw},
    {"raw stream named .mov", &clips::rawNamedMov}, {"container named .bin", &clips::movNamedBin},
};

} // namespace

TEST(MovieDecoder, OpensEveryClipFormWithItsSizeDurationAndFrames)
{
    for (const auto& c : kClips) {
        MovieErrorCode code = -1;
        std::optional<MovieDecoder> decoder = openClip(clipPath(*c.clip), code);
        ASSERT_TRUE(decoder) << c.legend << ": code " << code;
        EXPECT_EQ(code, 0) << c.legend;
        EXPECT_EQ(decoder->width(), c.clip->width) << c.legend;
        EXPECT_EQ(decoder->height(), c.clip->height) << c.legend;
        EXPECT_EQ(decoder->framePeriodUs(), 1'000'000 / kClipFrameRate) << c.legend;
        EXPECT_EQ(decoder->durationMs(), kClipFrames * 1000 / kClipFrameRate) << c.legend;
        // Only a raw stream needs its frames counted.
        EXPECT_EQ(decoder->countedFrames().has_value(), c.clip->form == ClipForm::RawStream)
            << c.legend;

        MovieFrame frame;
        int frames = 0;
        std::int64_t lastTime = -1;
        while (decoder->decodeNext(frame) == MovieDecoder::Outcome::Frame) {
            EXPECT_GT(frame.timeMs, lastTime) << c.legend << ": times rise";
            lastTime = frame.timeMs;
            ++frames;
        }
        EXPECT_EQ(frames, kClipFrames) << c.legend;
        EXPECT_EQ(lastTime, (kClipFrames - 1) * 1000 / kClipFrameRate) << c.legend;
        // At the end the outcome stays "end of stream".
        EXPECT_EQ(decoder->decodeNext(frame), MovieDecoder::Outcome::EndOfStream) << c.legend;

        ASSERT_TRUE(decoder->rewind()) << c.legend;
        ASSERT_EQ(decoder->decodeNext(frame), MovieDecoder::Outcome::Frame) << c.legend;
        EXPECT_EQ(frame.timeMs, 0) << c.legend << ": rewound to the first frame";
        EXPECT_EQ(frame.width, c.clip->width) << c.legend;
        // The middle of the picture, found through the row stride.
        const auto* middleRow = reinterpret_cast<const std::uint32_t*>(
            frame.pixels.data() + static_cast<std::size_t>(frame.height / 2) * frame.stride);
        EXPECT_TRUE(closeColour(QColor::fromRgb(middleRow[frame.width / 2]), c.clip->colour))
            << c.legend;
    }
}

TEST(MovieDecoder, ALongRawStreamOpensWithAnEstimateAndEndsWithItsExactDuration)
{
    const ClipSpec& clip = clips::noiseRaw;
    const QString path = clipPath(clip);
    ASSERT_GT(QFileInfo(path).size(), MovieDecoder::kCountScanBytes) << "longer than one scan";
    MovieErrorCode code = -1;
    std::optional<MovieDecoder> decoder = openClip(path, code);
    ASSERT_TRUE(decoder) << "code " << code;
    const std::int64_t exact = clip.frames * 1000 / kClipFrameRate;
    EXPECT_FALSE(decoder->durationExact());
    EXPECT_NEAR(static_cast<double>(decoder->durationMs()), static_cast<double>(exact), exact / 4.0)
        << "estimated from the stream's size";

    MovieFrame frame;
    int frames = 0;
    while (decoder->decodeNext(frame) == MovieDecoder::Outcome::Frame) {
        EXPECT_EQ(frame.timeMs, frames * 1000 / kClipFrameRate);
        ++frames;
        EXPECT_GT(decoder->durationMs(), frame.timeMs) << "never shorter than what was shown";
    }
    EXPECT_EQ(frames, clip.frames);
    EXPECT_TRUE(decoder->durationExact());
    EXPECT_EQ(decoder->durationMs(), exact);
    EXPECT_EQ(decoder->countedFrames(), clip.frames);
}

TEST(MovieDecoder, FailuresCarryEngineCodes)
{
    MovieErrorCode code = 0;
    EXPECT_FALSE(MovieDecoder::openFile(QFile::encodeName(missingPath()).toStdString(), code));
    EXPECT_EQ(code, EngineCode::fileNotFound) << "missing file";

    struct Case
    {
        const char* legend;
        QByteArray bytes;
        MovieErrorCode code;
    };
    const Case cases[] = {
        {"plain text", QByteArray("this is a note, not a movie\n").repeated(20),
         EngineCode::noMovieFound},
        {"empty file", QByteArray(), EngineCode::noMovieFound},
        {"one zero byte: an empty clip as received", QByteArray(1, '\0'), EngineCode::noMovieFound},
    };
    for (const auto& c : cases) {
        const QString path = writeFile("not-a-movie.mov", c.bytes);
        std::optional<MovieDecoder> decoder = openClip(path, code);
        EXPECT_FALSE(decoder) << c.legend;
        EXPECT_EQ(code, c.code) << c.legend;
    }
}

TEST(FfmpegErrorMapping, MapsByErrorAndStep)
{
    struct Case
    {
        const char* legend;
        int averror;
        FfmpegStep step;
        MovieErrorCode code;
    };
    const Case cases[] = {
        {"success", 0, FfmpegStep::Decode, 0},
        {"missing file", AVERROR(ENOENT), FfmpegStep::OpenFile, EngineCode::fileNotFound},
        {"no permission", AVERROR(EACCES), FfmpegStep::OpenFile, EngineCode::readError},
        {"unrecognised content", AVERROR_INVALIDDATA, FfmpegStep::Probe, EngineCode::noMovieFound},
        {"damaged frame", AVERROR_INVALIDDATA, FfmpegStep::Decode, EngineCode::badMovie},
        {"no video stream", AVERROR_STREAM_NOT_FOUND, FfmpegStep::Probe, EngineCode::noMovieFound},
        {"no decoder", AVERROR_DECODER_NOT_FOUND, FfmpegStep::Probe, EngineCode::cantFindHandler},
        {"data ends early", AVERROR_EOF, FfmpegStep::Decode, EngineCode::endOfData},
        {"seek refused", AVERROR(ENOSYS), FfmpegStep::Seek, EngineCode::invalidTime},
        {"anything else", AVERROR(ENOSYS), FfmpegStep::Decode, EngineCode::unmapped},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engineCodeFor(c.averror, c.step), c.code) << c.legend;
}
