#include "ArchiveBrowser.h"

#include "TextCodec.h"

#include <algorithm>
#include <cmath>

namespace archive {

namespace {

constexpr double kKmhPerKnot = 1.852;

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString degrees(double value, char positive, char negative)
{
    return QStringLiteral("%1° %2")
        .arg(std::abs(value), 0, 'f', 6)
        .arg(QLatin1Char(value < 0 ? negative : positive));
}

QString utcText(const RmcFields& rmc)
{
    if (!rmc.hasUtc())
        return QStringLiteral("unknown");
    const double second = *rmc.second;
    const bool whole = second == std::floor(second);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(*rmc.year, 4, 10, QLatin1Char('0'))
        .arg(twoDigits(*rmc.month), twoDigits(*rmc.day), twoDigits(*rmc.hour),
             twoDigits(*rmc.minute))
        .arg(second, whole ? 2 : 5, 'f', whole ? 0 : 2, QLatin1Char('0'));
}

QString positionDetails(const Position& p)
{
    QStringList lines;
    lines << QStringLiteral("Position at %1")
                 .arg(QString::fromStdString(formatTimeOfDay(p.secondOfDay)));
    const RmcFields& rmc = p.rmc;
    if (!rmc.isRmc) {
        lines << QStringLiteral("Not an RMC sentence");
    } else {
        lines << QStringLiteral("Time (UTC): %1").arg(utcText(rmc));
        if (rmc.hasPlace())
            lines << QStringLiteral("Place: %1, %2%3")
                         .arg(degrees(*rmc.latitude, 'N', 'S'), degrees(*rmc.longitude, 'E', 'W'),
                              rmc.valid ? QString() : QStringLiteral(" (no fix)"));
        else
            lines << QStringLiteral("Place: unknown");
        if (rmc.speedKnots)
            lines << QStringLiteral("Speed: %1 kn (%2 km/h)")
                         .arg(*rmc.speedKnots, 0, 'f', 1)
                         .arg(*rmc.speedKnots * kKmhPerKnot, 0, 'f', 1);
        else
            lines << QStringLiteral("Speed: unknown");
        if (rmc.courseDegrees)
            lines << QStringLiteral("Course: %1°").arg(*rmc.courseDegrees, 0, 'f', 1);
        else
            lines << QStringLiteral("Course: unknown");
    }
    // The sentence as received; it came from the wire as Windows-1252.
    lines << QString::fromStdString(platform::windows1252ToUtf8(p.sentence));
    return lines.join(QLatin1Char('\n'));
}

QString clipDetails(const Clip& c)
{
    return QStringLiteral("Clip at %1, Channel:%2\nSize: %3 bytes\n%4")
        .arg(QString::fromStdString(formatTimeOfDay(c.secondOfDay)),
             QString::fromStdString(c.channel))
        .arg(c.size)
        .arg(QString::fromStdString(c.path));
}

// The index of the second in sorted seconds nearest to target; -1 when empty.
int nearest(const std::vector<int>& seconds, int target)
{
    if (seconds.empty())
        return -1;
    const auto at = std::lower_bound(seconds.begin(), seconds.end(), target);
    if (at == seconds.end())
        return static_cast<int>(seconds.size()) - 1;
    if (at != seconds.begin() && target - *std::prev(at) <= *at - target)
        return static_cast<int>(std::prev(at) - seconds.begin());
    return static_cast<int>(at - seconds.begin());
}

// The seconds of the day of positions or clips, in their order.
template <typename Item> std::vector<int> secondsOf(const std::vector<Item>& items)
{
    std::vector<int> seconds;
    seconds.reserve(items.size());
    for (const Item& item : items)
        seconds.push_back(item.secondOfDay);
    return seconds;
}

} // namespace

ArchiveBrowser::ArchiveBrowser(std::string folder, QObject* parent)
    : QObject(parent), m_reader(std::move(folder))
{
}

ArchiveBrowser::ArchiveBrowser(std::vector<std::string> folders, QObject* parent)
    : QObject(parent), m_reader(std::move(folders))
{
}

void ArchiveBrowser::refresh()
{
    // What was chosen, to choose it again. (Plain values: GCC takes a copied
    // optional of a trivial struct for uninitialised.)
    const bool hadDay = m_day >= 0;
    const Date chosenDay = hadDay ? m_days[static_cast<std::size_t>(m_day)] : Date{};
    const std::string chosenRecorder =
        m_recorder >= 0 ? m_recorders[static_cast<std::size_t>(m_recorder)].folder : std::string();

    m_days = m_reader.days();
    m_dayNames.clear();
    for (const Date& d : m_days)
        m_dayNames << QString::fromStdString(formatDate(d));
    const auto day = hadDay ? std::find(m_days.begin(), m_days.end(), chosenDay) : m_days.end();
    // At first, or when the chosen day is gone, the newest day.
    m_day = day != m_days.end() ? static_cast<int>(day - m_days.begin())
                                : static_cast<int>(m_days.size()) - 1;
    emit daysChanged();

    readRecorders();
    const bool sameDay = day != m_days.end();
    const auto recorder =
        sameDay && !chosenRecorder.empty()
            ? std::find_if(m_recorders.begin(), m_recorders.end(),
                           [&](const Recorder& r) { return r.folder == chosenRecorder; })
            : m_recorders.end();
    m_recorder =
        recorder != m_recorders.end() ? static_cast<int>(recorder - m_recorders.begin()) : -1;
    emit recordersChanged();

    // Files are only ever added, in time order, so a selection stays on its item.
    const Selection kept = m_recorder >= 0 ? m_selection : Selection{};
    readRecorderDay();
    m_selection = kept.index < static_cast<int>(laneSize(kept.lane)) ? kept : Selection{};
    emit recorderDayChanged();
    emit selectionChanged();
}

void ArchiveBrowser::chooseDay(int index)
{
    if (index == m_day || index < -1 || index >= static_cast<int>(m_days.size()))
        return;
    m_day = index;
    readRecorders();
    m_recorder = -1;
    emit recordersChanged();
    readRecorderDay();
    m_selection = {};
    emit recorderDayChanged();
    emit selectionChanged();
}

bool ArchiveBrowser::chooseByName(const QString& day, const QString& recorder)
{
    const qsizetype dayIndex = m_dayNames.indexOf(day);
    if (dayIndex < 0)
        return false;
    const std::vector<Recorder> recorders = m_reader.recorders(m_days[std::size_t(dayIndex)]);
    const auto found = std::find_if(recorders.begin(), recorders.end(), [&](const Recorder& r) {
        return QString::fromStdString(r.displayName()) == recorder ||
               QString::fromStdString(r.folder) == recorder;
    });
    if (found == recorders.end())
        return false;
    chooseDay(static_cast<int>(dayIndex));
    chooseRecorder(static_cast<int>(found - recorders.begin()));
    return true;
}

void ArchiveBrowser::chooseRecorder(int index)
{
    if (index == m_recorder || index < -1 || index >= static_cast<int>(m_recorders.size()))
        return;
    m_recorder = index;
    readRecorderDay();
    m_selection = {};
    emit recorderDayChanged();
    emit selectionChanged();
}

void ArchiveBrowser::readRecorders()
{
    m_recorders = m_day >= 0 ? m_reader.recorders(m_days[static_cast<std::size_t>(m_day)])
                             : std::vector<Recorder>{};
    m_recorderNames.clear();
    for (const Recorder& r : m_recorders)
        m_recorderNames << QString::fromStdString(r.displayName());
}

void ArchiveBrowser::readRecorderDay()
{
    m_recorderDay.reset();
    if (m_day >= 0 && m_recorder >= 0)
        m_recorderDay =
            m_reader.recorderDay(m_days[static_cast<std::size_t>(m_day)],
                                 m_recorders[static_cast<std::size_t>(m_recorder)].folder);
    buildRoute();
}

void ArchiveBrowser::buildRoute()
{
    m_route.clear();
    m_routePointOfPosition.clear();
    m_clipRoutePoints.clear();
    if (!m_recorderDay)
        return;
    std::vector<int> routeSeconds; // by route point: its position's second of the day
    for (const Position& p : m_recorderDay->positions) {
        const RmcFields& rmc = p.rmc;
        if (rmc.isRmc && rmc.valid && rmc.hasPlace()) {
            m_routePointOfPosition.push_back(static_cast<int>(m_route.size()));
            routeSeconds.push_back(p.secondOfDay);
            m_route.push_back({*rmc.latitude, *rmc.longitude});
        } else {
            m_routePointOfPosition.push_back(-1);
        }
    }
    // Each clip at the route point nearest its time; -1 when the route is empty.
    for (const Clip& c : m_recorderDay->clips)
        m_clipRoutePoints.push_back(nearest(routeSeconds, c.secondOfDay));
}

std::vector<int> ArchiveBrowser::positionSeconds() const
{
    return m_recorderDay ? secondsOf(m_recorderDay->positions) : std::vector<int>{};
}

std::vector<int> ArchiveBrowser::clipSeconds() const
{
    return m_recorderDay ? secondsOf(m_recorderDay->clips) : std::vector<int>{};
}

std::size_t ArchiveBrowser::laneSize(Lane lane) const
{
    if (!m_recorderDay)
        return 0;
    return lane == Lane::Positions ? m_recorderDay->positions.size() : m_recorderDay->clips.size();
}

void ArchiveBrowser::select(Lane lane, int index)
{
    const Selection chosen = index >= 0 && static_cast<std::size_t>(index) < laneSize(lane)
                                 ? Selection{lane, index}
                                 : Selection{};
    m_selection = chosen;
    emit selectionChanged();
}

void ArchiveBrowser::pickNearest(Lane lane, int secondOfDay)
{
    select(lane, nearest(lane == Lane::Positions ? positionSeconds() : clipSeconds(), secondOfDay));
}

int ArchiveBrowser::selectedRoutePoint() const
{
    if (m_selection.empty())
        return -1;
    const auto i = static_cast<std::size_t>(m_selection.index);
    return m_selection.lane == Lane::Positions ? m_routePointOfPosition[i] : m_clipRoutePoints[i];
}

QString ArchiveBrowser::details() const
{
    if (m_selection.empty() || !m_recorderDay)
        return {};
    const auto i = static_cast<std::size_t>(m_selection.index);
    return m_selection.lane == Lane::Positions ? positionDetails(m_recorderDay->positions[i])
                                               : clipDetails(m_recorderDay->clips[i]);
}

std::string ArchiveBrowser::clipFile() const
{
    if (m_selection.empty() || m_selection.lane != Lane::Clips || !m_recorderDay)
        return {};
    return m_recorderDay->clips[static_cast<std::size_t>(m_selection.index)].path;
}

} // namespace archive
