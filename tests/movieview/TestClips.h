// Real MPEG-4 clips for the movie tests, made with the ffmpeg program once per
// test run in a temporary folder. Each clip is a solid colour so that pixel
// checks are robust, and ends with the zero byte that the receiver appends.
#pragma once

#include <QColor>
#include <QString>

namespace movietest {

enum class ClipForm
{
    Container,
    RawStream
};

enum class ClipContent
{
    Solid, // the clip's colour: a few hundred bytes a frame
    Noise, // random pixels: tens of kilobytes a frame
};

inline constexpr int kClipFrameRate = 10;
inline constexpr int kClipFrames = 5; // half a second

struct ClipSpec
{
    const char* name; // file name inside the clip folder
    int width;
    int height;
    QColor colour;
    ClipForm form;
    int frames = kClipFrames;
    ClipContent content = ClipContent::Solid;
};

inline const QColor kRed{208, 32, 32};
inline const QColor kBlue{32, 64, 208};

// The clip's path; makes it on first use. Fails the calling test when ffmpeg fails.
QString clipPath(const ClipSpec& clip);
// A raw stream that is first followed by second (both raw streams), as one file.
QString joinedClipPath(const char* name, const ClipSpec& first, const ClipSpec& second);
// A file in the clip folder that holds the given bytes.
QString writeFile(const char* name, const QByteArray& bytes);
// A path in the clip folder where nothing exists.
QString missingPath();

// Colours from a lossy codec match within this distance per channel.
bool closeColour(QColor actual, QColor expected, int tolerance = 16);

namespace clips {
inline const ClipSpec red320Mov{"red320.mov", 320, 240, kRed, ClipForm::Container};
inline const ClipSpec blue320Mov{"blue320.mov", 320, 240, kBlue, ClipForm::Container};
inline const ClipSpec red176Mov{"red176.mov", 176, 144, kRed, ClipForm::Container};
inline const ClipSpec red352Mov{"red352.mov", 352, 144, kRed, ClipForm::Container};
inline const ClipSpec red320Raw{"red320.m4v", 320, 240, kRed, ClipForm::RawStream};
inline const ClipSpec red176Raw{"red176.m4v", 176, 144, kRed, ClipForm::RawStream};
// A raw stream whose name says container: the content decides.
inline const ClipSpec rawNamedMov{"raw-named.mov", 176, 144, kBlue, ClipForm::RawStream};
// A container whose name says raw stream.
inline const ClipSpec movNamedBin{"mov-named.bin", 320, 240, kBlue, ClipForm::Container};
// Pictures wider than the engine shows.
inline const ClipSpec wideMov{"wide.mov", 4112, 16, kRed, ClipForm::Container};
inline const ClipSpec wideRaw{"wide.m4v", 4112, 16, kRed, ClipForm::RawStream};
inline const ClipSpec blue352Raw{"blue352.m4v", 352, 288, kBlue, ClipForm::RawStream};
// Two seconds of noise: a raw stream of almost 2 MB.
inline const ClipSpec noiseRaw{"noise.m4v",       320, 240, kRed, ClipForm::RawStream, 20,
                               ClipContent::Noise};
} // namespace clips

} // namespace movietest
