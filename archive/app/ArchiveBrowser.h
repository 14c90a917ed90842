// The archive browser's model: which day, recorder and item are chosen, and
// what the views show of them. No widgets: the window wires its controls to
// these slots and signals, and tests drive it directly.
//
// Reads lazily: the list of days at start and on refresh, a day's recorder
// folders when the day is chosen, and one recorder's files when it is chosen;
// never another day's or recorder's. It never writes the archive.
//
// Threading: user-interface thread only.
#pragma once

#include "ArchiveReader.h"
#include "ArchiveSet.h"
#include "BrowserTypes.h"
#include "RouteProjection.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace archive {

class ArchiveBrowser : public QObject
{
    Q_OBJECT

public:
    explicit ArchiveBrowser(std::string folder, QObject* parent = nullptr);
    // Several archives (one per gateway) shown together (ArchiveSet.h).
    explicit ArchiveBrowser(std::vector<std::string> folders, QObject* parent = nullptr);

    // The archive's folder; several joined by ", ".
    std::string folder() const { return m_reader.folder(); }

    // "2026-12-08", oldest first.
    const QStringList& dayNames() const { return m_dayNames; }
    int day() const { return m_day; } // -1: none chosen
    // The chosen day's recorders, their keys in UTF-8.
    const QStringList& recorderNames() const { return m_recorderNames; }
    int recorder() const { return m_recorder; } // -1: none chosen
    // The chosen recorder's day; none while no recorder is chosen.
    const std::optional<RecorderDay>& recorderDay() const { return m_recorderDay; }

    // The timeline's items: seconds of the day, in time order.
    std::vector<int> positionSeconds() const;
    std::vector<int> clipSeconds() const;
    // The route: the places of the positions with a valid fix, in time order;
    // each clip at the route point nearest its time (by the file names).
    const std::vector<Place>& route() const { return m_route; }
    const std::vector<int>& clipRoutePoints() const { return m_clipRoutePoints; }
    // The route point of the selected position (or of the selected clip), or -1.
    int selectedRoutePoint() const;

    Selection selection() const { return m_selection; }
    // The selected item told for the operator: a position's time, place,
    // speed and course, or a clip's time, channel and size.
    QString details() const;
    // The selected clip's file; empty when no clip is selected.
    std::string clipFile() const;

public slots:
    // Reads the list of days again (the station may have written since) and
    // the chosen day and recorder, keeping what is chosen where it still exists.
    void refresh();
    // An index into dayNames(); the newest recorder-less choice is none.
    void chooseDay(int index);
    void chooseRecorder(int index);
    void select(archive::Lane lane, int index);
    // Chooses the day ("2026-12-08") and the recorder (its key in UTF-8, or its
    // folder's name); false, with nothing changed, when either is not there.
    bool chooseByName(const QString& day, const QString& recorder);
    // Selects the item of that lane nearest to the second of the day.
    void pickNearest(archive::Lane lane, int secondOfDay);

signals:
    void daysChanged();
    void recordersChanged();
    void recorderDayChanged();
    void selectionChanged();

private:
    // The chosen day's recorders and their names.
    void readRecorders();
    void readRecorderDay();
    void buildRoute();
    // The number of items in the lane of the chosen recorder's day.
    std::size_t laneSize(Lane lane) const;

    ArchiveSet m_reader;
    std::vector<Date> m_days;
    QStringList m_dayNames;
    int m_day = -1;
    std::vector<Recorder> m_recorders;
    QStringList m_recorderNames;
    int m_recorder = -1;
    std::optional<RecorderDay> m_recorderDay;
    std::vector<Place> m_route;
    std::vector<int> m_routePointOfPosition; // by position; -1 for no valid place
    std::vector<int> m_clipRoutePoints;      // by clip; -1 when the route is empty
    Selection m_selection;
};

} // namespace archive
