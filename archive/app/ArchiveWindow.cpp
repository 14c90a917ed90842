#include "ArchiveWindow.h"

#include "Movie.h"
#include "MovieError.h"
#include "RouteView.h"
#include "TimelineView.h"
#include "qtmovie.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

namespace archive {

namespace {

constexpr int kMovieWidth = 320;
constexpr int kMovieHeight = 240;
constexpr int kListWidth = 200;

void fillList(QListWidget* list, const QStringList& items, int current)
{
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(items);
    list->setCurrentRow(current);
}

} // namespace

ArchiveWindow::ArchiveWindow(std::string folder, QWidget* parent)
    : ArchiveWindow(std::vector<std::string>{std::move(folder)}, parent)
{
}

ArchiveWindow::ArchiveWindow(std::vector<std::string> folders, QWidget* parent)
    : QMainWindow(parent), m_browser(std::move(folders)), m_days(new QListWidget(this)),
      m_recorders(new QListWidget(this)), m_refresh(new QPushButton(tr("&Refresh"), this)),
      m_timeline(new TimelineView(this)), m_route(new RouteView(this)), m_details(new QLabel(this)),
      m_movie(new movieview::TQTMovie(this))
{
    setWindowTitle(tr("Tessaro archive"));
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(createLists());
    layout->addWidget(createViews(), 1);
    setCentralWidget(central);
    statusBar()->showMessage(QString::fromStdString(m_browser.folder()));
    connectBrowser();
    m_browser.refresh();
}

ArchiveWindow::~ArchiveWindow() = default;

QWidget* ArchiveWindow::createLists()
{
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Days"), box));
    layout->addWidget(m_days, 1);
    layout->addWidget(new QLabel(tr("Recorders"), box));
    layout->addWidget(m_recorders, 1);
    layout->addWidget(m_refresh);
    box->setFixedWidth(kListWidth);
    return box;
}

QWidget* ArchiveWindow::createViews()
{
    auto* box = new QWidget(this);
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    m_movie->setFixedSize(kMovieWidth, kMovieHeight);
    m_movie->setKeepScale(true);
    m_details->setTextFormat(Qt::PlainText);
    m_details->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_details->setWordWrap(true);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_details->setFrameShape(QFrame::StyledPanel);
    m_details->setMinimumHeight(kMovieHeight / 2);
    layout->addWidget(m_movie, 0, 0);
    layout->addWidget(m_route, 0, 1, 2, 1);
    layout->addWidget(m_details, 1, 0);
    layout->addWidget(m_timeline, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    return box;
}

void ArchiveWindow::connectBrowser()
{
    connect(m_days, &QListWidget::currentRowChanged, &m_browser, &ArchiveBrowser::chooseDay);
    connect(m_recorders, &QListWidget::currentRowChanged, &m_browser,
            &ArchiveBrowser::chooseRecorder);
    connect(m_timeline, &TimelineView::picked, &m_browser, &ArchiveBrowser::pickNearest);
    connect(m_refresh, &QPushButton::clicked, &m_browser, &ArchiveBrowser::refresh);
    connect(&m_browser, &ArchiveBrowser::daysChanged, this, &ArchiveWindow::showDays);
    connect(&m_browser, &ArchiveBrowser::recordersChanged, this, &ArchiveWindow::showRecorders);
    connect(&m_browser, &ArchiveBrowser::recorderDayChanged, this, &ArchiveWindow::showRecorderDay);
    connect(&m_browser, &ArchiveBrowser::selectionChanged, this, &ArchiveWindow::showSelection);
}

void ArchiveWindow::showDays()
{
    fillList(m_days, m_browser.dayNames(), m_browser.day());
}

void ArchiveWindow::showRecorders()
{
    // The model may have been told to choose a day without the list.
    const QSignalBlocker quiet(m_days);
    m_days->setCurrentRow(m_browser.day());
    fillList(m_recorders, m_browser.recorderNames(), m_browser.recorder());
}

void ArchiveWindow::showRecorderDay()
{
    {
        const QSignalBlocker quiet(m_recorders);
        m_recorders->setCurrentRow(m_browser.recorder());
    }
    playClip({});
    m_timeline->setItems(m_browser.positionSeconds(), m_browser.clipSeconds());
    m_route->setRoute(m_browser.route(), m_browser.clipRoutePoints());
    // The browser tells the selection right after the day, which shows it.
}

void ArchiveWindow::showSelection()
{
    m_timeline->setSelection(m_browser.selection());
    m_route->setSelectedPoint(m_browser.selectedRoutePoint());
    m_details->setText(m_browser.details());
    const Selection selected = m_browser.selection();
    if (!selected.empty() && selected.lane == Lane::Clips)
        playClip(m_browser.clipFile());
}

void ArchiveWindow::playClip(const std::string& path)
{
    try {
        m_movie->setFileName(QString::fromStdString(path));
        if (movieview::Movie* movie = m_movie->movie())
            movie->start();
    } catch (const movieview::MovieError& error) {
        m_details->setText(m_browser.details() + QLatin1Char('\n') + error.text());
    }
}

} // namespace archive
