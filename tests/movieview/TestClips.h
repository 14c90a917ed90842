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

struct ClipSpec
{
    const char* name; // file name inside the clip folder
    int width;
    int height;
    QColor colour;
    ClipForm form;
};

inline constexpr int kClipFrameRate = 10;
inline constexpr int kClipFrames = 5; // half a second

inline const QColor kRed{208, 32, 32};
inline const QColor kBlue{32, 64, 208};

// The clip's path; makes it on first use. Fails the calling test when ffmpeg fails.
QString clipPath(const ClipSpec& clip);
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
} // namespace clips

} // namespace movietest
