// The archive browser offscreen over an archive that the station's own Archive
// wrote into a temporary folder: days, recorders with keys that are not plain
// names, one recorder's timeline, a clip selected on the timeline playing in
// the movie view, a position's details, the route drawing, and files that the
// station adds while the browser is open.
#include "Archive.h"
#include "ArchiveWindow.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "Movie.h"
#include "MovieEngineSession.h"
#include "RouteView.h"
#include "TempFolder.h"
#include "TestClips.h"
#include "TimelineView.h"
#include "qtmovie.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace archive;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 5000;
const char* const kBus = "BUS-12_1";
const platform::LocalTime kDay{2026, 12, 8, 14, 0, 0, 0};
const platform::LocalTime kDayBefore{2026, 12, 7, 9, 30, 0, 0};
// Above the archive's clip threshold (a solid 320x240 clip is smaller).
const movietest::ClipSpec kRedClip{"red640.mov", 640, 480, movietest::kRed,
                                   movietest::ClipForm::Container};

struct Fix
{
    int second; // after 14:00:00
    bool valid;
    double latitude, longitude, knots, course;
};
// The bus's positions: a straight run north-east, one sentence without a fix.
const Fix kTrack[] = {
    {0, true, 54.680, 25.270, 10.0, 45.0},  {10, true, 54.682, 25.274, 10.0, 87.0},
    {20, true, 54.684, 25.278, 12.0, 45.0}, {30, false, 0, 0, 0, 0},
    {40, true, 54.688, 25.286, 8.0, 45.0},  {50, true, 54.690, 25.290, 0.0, 0.0},
};
constexpr int kClipSecond = 21; // nearest fix: the third position (route point 2)

std::string withChecksum(const std::string& body)
{
    unsigned char sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail;
}

std::string nmeaAngle(double degrees, int degreeDigits)
{
    const int whole = static_cast<int>(degrees);
    char text[64];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, whole, (degrees - whole) * 60);
    return text;
}

// An RMC sentence as a recorder sends it: UTC an hour behind the local file time.
std::string rmcSentence(const Fix& f)
{
    char time[32];
    std::snprintf(time, sizeof time, "13%02d%02d.00", f.second / 60, f.second % 60);
    if (!f.valid)
        return withChecksum(std::string("GPRMC,") + time + ",V,,,,,,,081226,,,N");
    char rest[96];
    std::snprintf(rest, sizeof rest, ",%.1f,%.1f,081226,,,A", f.knots, f.course);
    return withChecksum(std::string("GPRMC,") + time + ",A," + nmeaAngle(f.latitude, 2) + ",N," +
                        nmeaAngle(f.longitude, 3) + ",E" + rest);
}

std::vector<std::uint8_t> fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return {all.begin(), all.end()};
}

// Every file and folder under root with its size, to tell that nothing changed.
std::map<std::string, std::uintmax_t> treeOf(const std::string& root)
{
    std::map<std::string, std::uintmax_t> tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
        tree[e.path().string()] = e.is_regular_file() ? e.file_size() : 0;
    return tree;
}

// Whether a pixel within one of (x, y) has about the colour.
bool colourNear(const QImage& image, QPointF at, QColor colour, int tolerance = 48)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint p(static_cast<int>(std::lround(at.x())) + dx,
                           static_cast<int>(std::lround(at.y())) + dy);
            if (image.rect().contains(p) &&
                movietest::closeColour(image.pixelColor(p), colour, tolerance))
                return true;
        }
    return false;
}

class ArchiveBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_archive.setClipViewer(nullptr);
        m_clock.set(kDayBefore);
        m_archive.StorePositionSentence("OLD_9", rmcSentence(kTrack[0]));
        for (const Fix& f : kTrack)
            storePosition(f.second, rmcSentence(f));
        m_clock.set(at(kClipSecond));
        m_archive.StoreClip(kBus, fileBytes(movietest::clipPath(kRedClip)), "2");
        m_clock.set(at(5));
        m_archive.StorePositionSentence("A/B", rmcSentence(kTrack[0]));
        m_archive.StorePositionSentence("Caf\xE9_2", rmcSentence(kTrack[0]));
        m_before = treeOf(root());

        m_window = std::make_unique<ArchiveWindow>(root());
        m_window->resize(1100, 720);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    std::string root() const { return m_folder.path(); }
    static platform::LocalTime at(int second)
    {
        platform::LocalTime t = kDay;
        t.minute = second / 60;
        t.second = second % 60;
        return t;
    }
    void storePosition(int second, const std::string& sentence)
    {
        m_clock.set(at(second));
        m_archive.StorePositionSentence(kBus, sentence);
    }
    void chooseBus()
    {
        const auto found = m_window->recorderList()->findItems(kBus, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        m_window->recorderList()->setCurrentItem(found.front());
    }
    void click(Lane lane, int secondAfter14)
    {
        TimelineView* timeline = m_window->timelineView();
        QTest::mouseClick(timeline, Qt::LeftButton, {},
                          timeline->pointOf(lane, 14 * 3600 + secondAfter14));
    }
    static QStringList texts(const QListWidget* list)
    {
        QStringList all;
        for (int i = 0; i < list->count(); ++i)
            all << list->item(i)->text();
        return all;
    }

    TempFolder m_folder;
    testsupport::ManualClock m_clock;
    monitor::DeviceLists m_lists;
    monitor::Archive m_archive{m_folder.path(), m_clock, m_lists};
    std::map<std::string, std::uintmax_t> m_before;
    movieview::MovieEngineSession m_engine;
    std::unique_ptr<ArchiveWindow> m_window;
};

} // namespace

TEST_F(ArchiveBrowserTest, AClipChosenOnTheTimelinePlaysAndTheArchiveIsLeftAsItWas)
{
    EXPECT_EQ(texts(m_window->dayList()), (QStringList{"2026-12-07", "2026-12-08"}));
    EXPECT_EQ(m_window->dayList()->currentRow(), 1) << "the newest day is chosen at start";
    // Folder names in byte order, keys decoded and shown as UTF-8.
    EXPECT_EQ(texts(m_window->recorderList()),
              (QStringList{"A/B", kBus, QString::fromUtf8("Caf\xC3\xA9_2")}));
    EXPECT_FALSE(m_window->browser().recorderDay())
        << "no recorder's files read before one is chosen";

    chooseBus();
    ArchiveBrowser& browser = m_window->browser();
    ASSERT_TRUE(browser.recorderDay());
    EXPECT_EQ(browser.positionSeconds(),
              (std::vector<int>{50400, 50410, 50420, 50430, 50440, 50450}));
    EXPECT_EQ(browser.clipSeconds(), (std::vector<int>{50400 + kClipSecond}));
    EXPECT_EQ(browser.route().size(), 5u) << "the sentence without a fix has no place";
    EXPECT_EQ(browser.clipRoutePoints(), (std::vector<int>{2}));

    click(Lane::Clips, 0); // the clips lane, far from the only clip: the nearest is it
    EXPECT_EQ(browser.selection(), (Selection{Lane::Clips, 0}));
    movieview::TQTMovie* movie = m_window->movieView();
    const std::string clip = root() + "2026/12/08/BUS-12_1/140021_CH_2.mov";
    EXPECT_EQ(movie->FileName(), QString::fromStdString(clip));
    ASSERT_NE(movie->movie(), nullptr);
    EXPECT_TRUE(movie->movie()->playing()) << "selecting a clip plays it";
    EXPECT_TRUE(QTest::qWaitFor([&] { return movie->movie()->framesShown() > 2; }, kWaitMs));
    const QImage picture = movie->grab().toImage();
    EXPECT_TRUE(movietest::closeColour(
        picture.pixelColor(picture.width() / 2, picture.height() / 2), movietest::kRed))
        << picture.pixelColor(picture.width() / 2, picture.height() / 2).name().toStdString();
    EXPECT_TRUE(m_window->detailsLabel()->text().startsWith("Clip at 14:00:21, Channel:2\n"))
        << m_window->detailsLabel()->text().toStdString();

    // Another day, back again: nothing is chosen and the movie is closed.
    m_window->dayList()->setCurrentRow(0);
    EXPECT_EQ(texts(m_window->recorderList()), QStringList{"OLD_9"});
    EXPECT_EQ(movie->FileName(), QString());
    EXPECT_EQ(m_window->detailsLabel()->text(), QString());

    // Chosen by name, as the command line does: the lists follow.
    EXPECT_FALSE(browser.chooseByName("2026-12-08", "NOBODY_1"));
    EXPECT_EQ(m_window->dayList()->currentRow(), 0) << "nothing changed";
    const QString cafe = QString::fromUtf8("Caf\xC3\xA9_2");
    ASSERT_TRUE(browser.chooseByName("2026-12-08", cafe));
    EXPECT_EQ(m_window->dayList()->currentRow(), 1);
    ASSERT_NE(m_window->recorderList()->currentItem(), nullptr);
    EXPECT_EQ(m_window->recorderList()->currentItem()->text(), cafe);
    EXPECT_EQ(browser.positionSeconds(), std::vector<int>{50405});

    EXPECT_EQ(treeOf(root()), m_before) << "browsing changed the archive";
}

TEST_F(ArchiveBrowserTest, APositionChosenOnTheTimelineShowsItsTimePlaceSpeedAndCourse)
{
    struct Case
    {
        const char* legend;
        int second; // clicked, after 14:00:00
        int position;
        int routePoint;
        QString details;
    };
    const Case cases[] = {
        {"a fix", 10, 1, 1,
         QString::fromUtf8("Position at 14:00:10\n"
                           "Time (UTC): 2026-12-08 13:00:10\n"
                           "Place: 54.682000° N, 25.274000° E\n"
                           "Speed: 10.0 kn (18.5 km/h)\n"
                           "Course: 87.0°\n") +
             QString::fromStdString(rmcSentence(kTrack[1]))},
        {"a click between two positions takes the nearer", 33, 3, -1,
         QString::fromUtf8("Position at 14:00:30\n"
                           "Time (UTC): 2026-12-08 13:00:30\n"
                           "Place: unknown\n"
                           "Speed: unknown\n"
                           "Course: unknown\n") +
             QString::fromStdString(rmcSentence(kTrack[3]))},
        {"the last, standing still", 50, 5, 4,
         QString::fromUtf8("Position at 14:00:50\n"
                           "Time (UTC): 2026-12-08 13:00:50\n"
                           "Place: 54.690000° N, 25.290000° E\n"
                           "Speed: 0.0 kn (0.0 km/h)\n"
                           "Course: 0.0°\n") +
             QString::fromStdString(rmcSentence(kTrack[5]))},
    };
    chooseBus();
    ArchiveBrowser& browser = m_window->browser();
    for (const Case& c : cases) {
        click(Lane::Positions, c.second);
        EXPECT_EQ(browser.selection(), (Selection{Lane::Positions, c.position})) << c.legend;
        EXPECT_EQ(browser.selectedRoutePoint(), c.routePoint) << c.legend;
        EXPECT_EQ(m_window->detailsLabel()->text(), c.details) << c.legend;
    }

    // The station writes on while the browser is open: a refresh reads the new
    // position, skips a file still under its temporary name and keeps the choice.
    click(Lane::Positions, 10);
    storePosition(55, rmcSentence({55, true, 54.691, 25.292, 5.0, 10.0}));
    std::FILE* partial =
        std::fopen((root() + "2026/12/08/BUS-12_1/.partial-140056.bin").c_str(), "w");
    ASSERT_NE(partial, nullptr);
    std::fclose(partial);
    QTest::mouseClick(m_window->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_EQ(browser.positionSeconds().size(), 7u);
    EXPECT_EQ(m_window->recorderList()->currentItem()->text(), kBus);
    EXPECT_EQ(browser.selection(), (Selection{Lane::Positions, 1}));
    EXPECT_EQ(m_window->detailsLabel()->text(), cases[0].details);
}

TEST_F(ArchiveBrowserTest, TheRouteIsDrawnToFitWithItsClipAndTheSelectedPosition)
{
    chooseBus();
    ArchiveBrowser& browser = m_window->browser();
    click(Lane::Positions, 40);
    RouteView* view = m_window->routeView();
    const QImage image = view->grab().toImage();
    const RouteProjection projection(browser.route(), view->drawingArea());
    const std::vector<Place>& route = browser.route();
    for (std::size_t i = 0; i + 1 < route.size(); ++i) {
        const QPointF a = projection.point(route[i]);
        const QPointF b = projection.point(route[i + 1]);
        EXPECT_TRUE(colourNear(image, (a + b) / 2, RouteView::kRouteColour))
            << "the line from route point " << i;
    }
    // Scaled to fit: the route reaches from one side of the area to the other.
    const QRectF area = view->drawingArea();
    const QPointF first = projection.point(route.front());
    const QPointF last = projection.point(route.back());
    EXPECT_TRUE(std::abs(first.x() - area.left()) < 1 || std::abs(first.y() - area.bottom()) < 1);
    EXPECT_TRUE(std::abs(last.x() - area.right()) < 1 || std::abs(last.y() - area.top()) < 1);
    EXPECT_TRUE(colourNear(image, projection.point(route[2]), RouteView::kClipColour, 8))
        << "the clip at the place of the position nearest its time";
    const QPointF selected = projection.point(route[3]);
    EXPECT_TRUE(colourNear(image, selected + QPointF(7, 0), RouteView::kSelectedColour, 24))
        << "the selected position ringed";
    EXPECT_EQ(image.pixelColor(2, 2), view->palette().base().color()) << "no map, no tiles";
}
