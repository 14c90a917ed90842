// The archive browser's main window: the days that hold data, the recorders
// of the chosen day, the chosen recorder's timeline and route, the details of
// the selected position or clip, and the movie view that plays the selected
// clip. The window only builds its controls and wires them to the model
// (ArchiveBrowser), which holds what is chosen and shown.
//
// Threading: user-interface thread only.
#pragma once

#include "ArchiveBrowser.h"

#include <QMainWindow>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace movieview {
class TQTMovie;
}

namespace archive {

class RouteView;
class TimelineView;

class ArchiveWindow : public QMainWindow
{
    Q_OBJECT

public:
    // folder: the archive's folder (the station's program folder).
    explicit ArchiveWindow(std::string folder, QWidget* parent = nullptr);
    // folders: one archive per gateway, shown together (ArchiveSet.h).
    explicit ArchiveWindow(std::vector<std::string> folders, QWidget* parent = nullptr);
    ~ArchiveWindow() override;

    ArchiveBrowser& browser() { return m_browser; }
    QListWidget* dayList() const { return m_days; }
    QListWidget* recorderList() const { return m_recorders; }
    TimelineView* timelineView() const { return m_timeline; }
    RouteView* routeView() const { return m_route; }
    QLabel* detailsLabel() const { return m_details; }
    movieview::TQTMovie* movieView() const { return m_movie; }

private:
    QWidget* createLists();
    QWidget* createViews();
    void connectBrowser();
    void showDays();
    void showRecorders();
    void showRecorderDay();
    void showSelection();
    // Opens the clip and plays it from its start; an empty path closes the movie.
    void playClip(const std::string& path);

    ArchiveBrowser m_browser;
    QListWidget* m_days;
    QListWidget* m_recorders;
    QPushButton* m_refresh;
    TimelineView* m_timeline;
    RouteView* m_route;
    QLabel* m_details;
    movieview::TQTMovie* m_movie;
};

} // namespace archive
