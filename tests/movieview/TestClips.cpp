#include "TestClips.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace movietest {

namespace {

QTemporaryDir& clipFolder()
{
    static QTemporaryDir folder;
    return folder;
}

bool makeClip(const ClipSpec& clip, const QString& path)
{
    const QString source =
        clip.content == ClipContent::Solid
            ? QStringLiteral("color=c=0x%1:size=%2x%3:rate=%4")
                  .arg(clip.colour.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                  .arg(clip.width)
                  .arg(clip.height)
                  .arg(kClipFrameRate)
            : QStringLiteral("nullsrc=size=%1x%2:rate=%3,geq=random(1)*255:128:128")
                  .arg(clip.width)
                  .arg(clip.height)
                  .arg(kClipFrameRate);
    const QStringList args = {"-hide_banner",
                              "-loglevel",
                              "error",
                              "-y",
                              "-f",
                              "lavfi",
                              "-i",
                              source,
                              "-frames:v",
                              QString::number(clip.frames),
                              "-c:v",
                              "mpeg4",
                              "-q:v",
                              "2",
                              "-f",
                              clip.form == ClipForm::Container ? "mov" : "m4v",
                              path};
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", args);
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg failed for " << clip.name << ": "
                      << ffmpeg.readAllStandardError().toStdString();
        return false;
    }
    // The receiver stores what the recorder sent plus one zero byte.
    QFile file(path);
    return file.open(QIODevice::Append) && file.write("\0", 1) == 1;
}

} // namespace

QString clipPath(const ClipSpec& clip)
{
    const QString path = clipFolder().filePath(clip.name);
    if (!QFile::exists(path))
        makeClip(clip, path);
    return path;
}

QString joinedClipPath(const char* name, const ClipSpec& first, const ClipSpec& second)
{
    QFile a(clipPath(first));
    QFile b(clipPath(second));
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read the clips to join into " << name;
        return QString();
    }
    // The first clip's zero byte, appended as the receiver does, goes.
    return writeFile(name, a.readAll().chopped(1) + b.readAll());
}

QString writeFile(const char* name, const QByteArray& bytes)
{
    const QString path = clipFolder().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

QString missingPath()
{
    return clipFolder().filePath("no-such-clip.mov");
}

bool closeColour(QColor actual, QColor expected, int tolerance)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace movietest
