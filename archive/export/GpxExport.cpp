#include "GpxExport.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QXmlStreamWriter>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace archive {

namespace {

constexpr int kMillisecondsPerSecond = 1000;

bool isTrackPoint(const Position& p)
{
    return p.rmc.isRmc && p.rmc.valid && p.rmc.hasPlace() && p.rmc.hasUtc();
}

std::optional<QDateTime> utcOf(const RmcFields& f)
{
    if (!f.hasUtc())
        return std::nullopt;
    const auto ms = std::lround(*f.second * kMillisecondsPerSecond);
    const QDate date(*f.year, *f.month, *f.day);
    const QTime time(*f.hour, *f.minute, 0);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).addMSecs(ms);
}

std::string formatUtc(const QDateTime& t)
{
    const Qt::DateFormat format =
        t.time().msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate; // both end in "Z" for UTC
    return t.toString(format).toStdString();
}

// Names come from the wire: no control characters, which XML cannot hold.
QString xmlText(std::string_view utf8)
{
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(u'?');
    return text;
}

QString coordinate(double degrees)
{
    // As many digits as tell the number exactly, so that a reader gets the
    // same double the sentence gave.
    return QString::number(degrees, 'f', QLocale::FloatingPointShortest);
}

} // namespace

std::string gpxTime(const RmcFields& fields)
{
    const auto t = utcOf(fields);
    return t ? formatUtc(*t) : std::string();
}

std::string gpxDocument(const RecorderDay& day, std::string_view name)
{
    // The track's points with their times, each worked out once.
    struct TrackPoint
    {
        const Position* position;
        QDateTime utc;
    };
    std::vector<TrackPoint> points;
    for (const Position& p : day.positions)
        if (isTrackPoint(p))
            if (const auto utc = utcOf(p.rmc))
                points.push_back({&p, *utc});

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("TessaroArchive"));
    xml.writeStartElement(QStringLiteral("metadata"));
    const QString title =
        xmlText(name) + QLatin1Char(' ') + QString::fromStdString(formatDate(day.day));
    xml.writeTextElement(QStringLiteral("name"), title);
    xml.writeEndElement();

    // Waypoints come before the track in GPX 1.1.
    for (const Clip& clip : day.clips) {
        if (points.empty())
            break;
        const TrackPoint* nearestPoint = &points.front();
        for (const TrackPoint& p : points)
            if (std::abs(p.position->secondOfDay - clip.secondOfDay) <
                std::abs(nearestPoint->position->secondOfDay - clip.secondOfDay))
                nearestPoint = &p;
        const Position* nearest = nearestPoint->position;
        const QDateTime time = nearestPoint->utc.addSecs(clip.secondOfDay - nearest->secondOfDay);
        const QString file = QString::fromStdString(clip.name);
        xml.writeStartElement(QStringLiteral("wpt"));
        xml.writeAttribute(QStringLiteral("lat"), coordinate(*nearest->rmc.latitude));
        xml.writeAttribute(QStringLiteral("lon"), coordinate(*nearest->rmc.longitude));
        xml.writeTextElement(QStringLiteral("time"), QString::fromStdString(formatUtc(time)));
        xml.writeTextElement(QStringLiteral("name"), file);
        xml.writeTextElement(QStringLiteral("desc"), QStringLiteral("Clip of channel %1, %2 bytes")
                                                         .arg(QString::fromStdString(clip.channel))
                                                         .arg(clip.size));
        xml.writeStartElement(QStringLiteral("link"));
        xml.writeAttribute(QStringLiteral("href"), file);
        xml.writeEndElement();
        xml.writeTextElement(QStringLiteral("type"), QStringLiteral("clip"));
        xml.writeEndElement();
    }

    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), title);
    xml.writeStartElement(QStringLiteral("trkseg"));
    for (const TrackPoint& p : points) {
        xml.writeStartElement(QStringLiteral("trkpt"));
        xml.writeAttribute(QStringLiteral("lat"), coordinate(*p.position->rmc.latitude));
        xml.writeAttribute(QStringLiteral("lon"), coordinate(*p.position->rmc.longitude));
        xml.writeTextElement(QStringLiteral("time"), QString::fromStdString(formatUtc(p.utc)));
        xml.writeEndElement();
    }
    xml.writeEndElement(); // trkseg
    xml.writeEndElement(); // trk
    xml.writeEndElement(); // gpx
    xml.writeEndDocument();
    return bytes.toStdString();
}

} // namespace archive
