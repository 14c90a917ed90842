// The movie view control on the offscreen platform with real clips: opening,
// failures, what it paints, placement, playing, the end of the movie, and the
// engine being unavailable.
#include "FailingAllocation.h"
#include "FakeEngineLibrary.h"
#include "Movie.h"
#include "MovieEndMessage.h"
#include "MovieEngineSession.h"
#include "MovieError.h"
#include "TestClips.h"
#include "qtmovie.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace movieview;
using namespace movietest;

namespace {

constexpr int kWaitMs = 5000;
const QColor kControlColour{0, 200, 0};

class TQTMovieTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_view = std::make_unique<TQTMovie>();
        m_view->resize(320, 240);
        m_view->setColor(kControlColour);
        m_view->show();
    }
    void TearDown() override { m_view.reset(); }

    QColor pixel(int x, int y) const { return m_view->grab().toImage().pixelColor(x, y); }

    // Declared first: the engine runs before the view exists and stops after it is gone.
    MovieEngineSession m_session;
    std::unique_ptr<TQTMovie> m_view;
};

QString failureText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const MovieError& e) {
        return e.text();
    }
    return QString();
}

struct Point
{
    const char* legend;
    int x, y;
    QColor colour;
};

} // namespace

TEST(TQTMovieDefaults, AfterCreation)
{
    MovieEngineSession session;
    TQTMovie view;
    EXPECT_EQ(view.FileName(), QString());
    EXPECT_FALSE(view.KeepScale());
    EXPECT_TRUE(view.AutoRewind());
    EXPECT_FALSE(view.Looping());
    EXPECT_FALSE(view.AutoSize());
    EXPECT_EQ(view.Color(), QColor(Qt::black));
    EXPECT_EQ(view.size(), QSize(50, 50));
    EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_FALSE(view.hasPortAssociation()) << "no native window before it is shown";
    EXPECT_EQ(view.movie(), nullptr);
}

TEST_F(TQTMovieTest, ShowsTheFirstFrameOfEveryClipFormAtOnce)
{
    const ClipSpec* clipsToShow[] = {&clips::red320Mov, &clips::red320Raw, &clips::rawNamedMov,
                                     &clips::movNamedBin, &clips::red176Mov};
    for (const ClipSpec* clip : clipsToShow) {
        m_view->setFileName(clipPath(*clip));
        EXPECT_EQ(m_view->FileName(), clipPath(*clip)) << clip->name;
        EXPECT_EQ(m_view->NaturalWidth(), clip->width) << clip->name;
        EXPECT_EQ(m_view->NaturalHeight(), clip->height) << clip->name;
        EXPECT_TRUE(m_view->HasPicture()) << clip->name;
        ASSERT_NE(m_view->movie(), nullptr);
        EXPECT_FALSE(m_view->movie()->playing()) << clip->name << ": waits for the user";
        // Stretched over the whole control: corners and centre show the clip.
        for (const auto& [x, y] : {std::pair{2, 2}, {160, 120}, {317, 237}})
            EXPECT_TRUE(closeColour(pixel(x, y), clip->colour))
                << clip->name << " at " << x << "," << y << ": "
                << pixel(x, y).name().toStdString();
    }
}

TEST_F(TQTMovieTest, KeepScaleBarsInTheControlColour)
{
    struct Case
    {
        const char* legend;
        const ClipSpec* clip;
        std::int32_t barOffset;
        MovieBox box;
        std::vector<Point> points;
    };
    const Case cases[] = {
        {"176x144: bars left and right",
         &clips::red176Mov,
         14,
         {0, 14, 240, 307},
         {{"left bar", 6, 120, kControlColour},
          {"picture left edge", 15, 120, kRed},
          {"picture centre", 160, 120, kRed},
          {"right bar overlaps the last picture column", 306, 120, kControlColour},
          {"right bar", 318, 5, kControlColour}}},
        {"352x144: bars top and bottom",
         &clips::red352Mov,
         -55,
         {55, 0, 185, 320},
         {{"top bar", 160, 20, kControlColour},
          {"picture top edge", 160, 56, kRed},
          {"picture centre", 160, 120, kRed},
          {"bottom bar", 160, 186, kControlColour},
          {"bottom bar end", 2, 238, kControlColour}}},
        {"320x240: same shape, no bars",
         &clips::red320Mov,
         0,
         {0, 0, 240, 320},
         {{"corner", 0, 0, kRed}, {"far corner", 319, 239, kRed}}},
    };
    m_view->setKeepScale(true);
    for (const auto& c : cases) {
        m_view->setFileName(clipPath(*c.clip));
        EXPECT_EQ(m_view->BarOffset(), c.barOffset) << c.legend;
        EXPECT_EQ(m_view->movie()->displayBox(), c.box) << c.legend;
        const QImage image = m_view->grab().toImage();
        for (const auto& p : c.points)
            EXPECT_TRUE(closeColour(image.pixelColor(p.x, p.y), p.colour))
                << c.legend << ", " << p.legend << ": "
                << image.pixelColor(p.x, p.y).name().toStdString();
    }
}

TEST_F(TQTMovieTest, ResizingRecomputesTheBoxAndBars)
{
    m_view->setKeepScale(true);
    m_view->setFileName(clipPath(clips::red176Mov));
    EXPECT_EQ(m_view->BarOffset(), 14);
    m_view->resize(176, 288);
    EXPECT_EQ(m_view->BarOffset(), -72);
    EXPECT_EQ(m_view->movie()->displayBox(), (MovieBox{72, 0, 216, 176}));
    m_view->setKeepScale(false); // stretched: the box is the whole area, the bars stay as they were
    EXPECT_EQ(m_view->movie()->displayBox(), (MovieBox{0, 0, 288, 176}));
    EXPECT_EQ(m_view->BarOffset(), -72);
}

TEST_F(TQTMovieTest, AutoSizeTakesTheNaturalSize)
{
    m_view->setAutoSize(true);
    m_view->setFileName(clipPath(clips::red176Mov));
    EXPECT_EQ(m_view->size(), QSize(176, 144));
    EXPECT_EQ(m_view->sizeHint(), QSize(176, 144));
    int w = 176, h = 144;
    EXPECT_FALSE(m_view->CanAutoSize(w, h)) << "the natural size is kept";
    w = 300;
    EXPECT_TRUE(m_view->CanAutoSize(w, h));
    EXPECT_EQ(QSize(w, h), QSize(176, 144));
    m_view->setFileName(QString());
    EXPECT_FALSE(m_view->CanAutoSize(w, h)) << "no controller, no proposal";
}

TEST_F(TQTMovieTest, FailuresLeaveTheControlEmptyInItsColour)
{
    struct Case
    {
        const char* legend;
        QString path;
        QString text;
    };
    const Case cases[] = {
        {"missing file", missingPath(), "Error opening movie file"},
        {"a file that is not a movie", writeFile("notes.mov", "not a movie at all\n"),
         "Error reading movie from file"},
        {"an empty clip as received (one zero byte)", writeFile("empty.mov", QByteArray(1, '\0')),
         "Error reading movie from file"},
        {"a picture wider than the engine shows", clipPath(clips::wideMov),
         "Maximum size must be larger"},
    };
    for (const auto& c : cases) {
        m_view->setFileName(clipPath(clips::red320Mov));
        ASSERT_NE(m_view->movie(), nullptr);
        EXPECT_EQ(failureText([&] { m_view->setFileName(c.path); }), c.text) << c.legend;
        EXPECT_EQ(m_view->FileName(), QString()) << c.legend;
        EXPECT_EQ(m_view->movie(), nullptr) << c.legend;
        const QImage image = m_view->grab().toImage();
        for (const auto& [x, y] : {std::pair{0, 0}, {160, 120}, {319, 239}})
            EXPECT_EQ(image.pixelColor(x, y), kControlColour) << c.legend;
    }
}

TEST_F(TQTMovieTest, EmptyNameClosesAndPaintsTheColour)
{
    m_view->setFileName(QString()); // nothing loaded: only a repaint
    EXPECT_EQ(m_view->FileName(), QString());
    m_view->setFileName(clipPath(clips::red320Mov));
    m_view->setFileName(QString());
    EXPECT_EQ(m_view->movie(), nullptr);
    EXPECT_FALSE(m_view->HasPicture());
    EXPECT_EQ(pixel(160, 120), kControlColour);
    m_view->setColor(Qt::white);
    EXPECT_EQ(pixel(160, 120), QColor(Qt::white)) << "a new colour repaints";
}

TEST_F(TQTMovieTest, SamePathAgainOpensTheFileAnew)
{
    // The preview file is overwritten and set again under the same name.
    const QString preview = writeFile("temp.mov", {});
    QFile::remove(preview);
    ASSERT_TRUE(QFile::copy(clipPath(clips::red320Mov), preview));
    m_view->setFileName(preview);
    EXPECT_TRUE(closeColour(pixel(160, 120), kRed));

    ASSERT_TRUE(QFile::remove(preview));
    ASSERT_TRUE(QFile::copy(clipPath(clips::blue320Mov), preview));
    m_view->setFileName(preview);
    EXPECT_EQ(m_view->FileName(), preview);
    EXPECT_TRUE(closeColour(pixel(160, 120), kBlue)) << pixel(160, 120).name().toStdString();
}

TEST_F(TQTMovieTest, APathLongerThan255CharactersOpensWhole)
{
    // Archive paths grow with the program folder; a cut path would name another file.
    const QString red = clipPath(clips::red320Mov);
    QString folder = QFileInfo(red).absolutePath();
    while (folder.size() < 300)
        folder += QStringLiteral("/a-rather-long-folder-name-for-a-day");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString deep = folder + QStringLiteral("/clip.mov");
    ASSERT_TRUE(QFile::copy(red, deep));
    ASSERT_GT(deep.size(), 255);
    m_view->setFileName(deep);
    EXPECT_EQ(m_view->FileName(), deep);
    EXPECT_TRUE(closeColour(pixel(160, 120), kRed));
}

TEST_F(TQTMovieTest, DoubleClickAndSpaceTogglePlayingButASinglePressDoesNot)
{
    m_view->setFileName(clipPath(clips::red320Mov));
    Movie* movie = m_view->movie();
    QTest::mouseClick(m_view.get(), Qt::LeftButton);
    EXPECT_FALSE(movie->playing()) << "single left click";
    QTest::mouseDClick(m_view.get(), Qt::LeftButton);
    EXPECT_TRUE(movie->playing()) << "double click plays";
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    EXPECT_FALSE(movie->playing()) << "Space pauses";
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    EXPECT_TRUE(movie->playing()) << "Space plays again";
    QTest::mouseDClick(m_view.get(), Qt::LeftButton);
    EXPECT_FALSE(movie->playing()) << "double click pauses";
}

TEST_F(TQTMovieTest, PlayedToItsEndStopsRewindsAndRaisesOnStop)
{
    struct Case
    {
        const char* legend;
        bool autoRewind;
        std::int64_t timeAfterStop;
    };
    const Case cases[] = {
        {"auto-rewind: back at the beginning", true, 0},
        {"no rewind: stays at the end", false, kClipFrames * 1000 / kClipFrameRate},
    };
    for (const auto& c : cases) {
        m_view->setAutoRewind(c.autoRewind);
        m_view->setFileName(clipPath(clips::red320Raw));
        QSignalSpy stops(m_view.get(), &TQTMovie::OnStop);
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        ASSERT_TRUE(stops.wait(kWaitMs)) << c.legend;
        // Paced by the clip's frame rate, not decoded in one burst.
        EXPECT_GE(clock.elapsed(), kClipFrames * 1000 / kClipFrameRate - 20) << c.legend;
        EXPECT_EQ(stops.count(), 1) << c.legend;
        EXPECT_EQ(stops.at(0).at(0).value<TQTMovie*>(), m_view.get()) << c.legend;
        Movie* movie = m_view->movie();
        EXPECT_FALSE(movie->playing()) << c.legend;
        EXPECT_EQ(movie->time(), c.timeAfterStop) << c.legend;
        EXPECT_GE(movie->framesShown(), static_cast<std::uint64_t>(kClipFrames)) << c.legend;

        // Played to its end again, it stops again.
        QTest::keyClick(m_view.get(), Qt::Key_Space);
        EXPECT_TRUE(stops.wait(kWaitMs)) << c.legend << ": second play";
        EXPECT_EQ(stops.count(), 2) << c.legend;
    }
}

TEST_F(TQTMovieTest, AnOnStopHandlerMayCloseTheMovie)
{
    m_view->setFileName(clipPath(clips::red320Mov));
    QObject::connect(m_view.get(), &TQTMovie::OnStop,
                     [](TQTMovie* sender) { sender->setFileName(QString()); });
    QSignalSpy stops(m_view.get(), &TQTMovie::OnStop);
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    ASSERT_TRUE(stops.wait(kWaitMs));
    EXPECT_EQ(m_view->movie(), nullptr);
    EXPECT_EQ(pixel(160, 120), kControlColour);
}

TEST_F(TQTMovieTest, LoopingStartsAgainWithoutOnStop)
{
    m_view->setLooping(true);
    m_view->setFileName(clipPath(clips::red320Mov));
    QSignalSpy stops(m_view.get(), &TQTMovie::OnStop);
    Movie* movie = m_view->movie();
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    // Three passes through a five-frame clip show more than fifteen frames.
    const auto passes = static_cast<std::uint64_t>(3 * kClipFrames);
    EXPECT_TRUE(QTest::qWaitFor([&] { return movie->framesShown() > passes; }, kWaitMs));
    EXPECT_TRUE(movie->playing());
    EXPECT_EQ(stops.count(), 0);
    EXPECT_EQ(m_view->movie(), movie);
}

// A movie that cannot play on to its end: the failure is reported when it
// stops, and the next play to the end stops and reports again.
TEST_F(TQTMovieTest, AFailureThatEndsPlayingIsReportedEachTimeItStops)
{
    constexpr std::size_t kLargerPicture = 352 * 288 * 4;
    struct Case
    {
        const char* legend;
        QString path;
        std::size_t failAllocationsFrom; // 0: memory as usual
        bool cutAfterOpening;            // the file loses its bytes while shown
        QString text;
    };
    const Case cases[] = {
        {"the picture grows wider than the engine shows",
         joinedClipPath("grows-too-wide.m4v", clips::red176Raw, clips::wideRaw), 0, false,
         "Maximum size must be larger"},
        {"the larger picture's pixels cannot be allocated",
         joinedClipPath("grows.m4v", clips::red176Raw, clips::blue352Raw), kLargerPicture, false,
         "Internal error"},
        {"the file is cut while shown, so the movie cannot go back to its start",
         writeFile("cut.m4v", {}), 0, true, "This time value is invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        if (c.cutAfterOpening) {
            QFile::remove(c.path);
            ASSERT_TRUE(QFile::copy(clipPath(clips::noiseRaw), c.path));
        }
        m_view->setFileName(c.path);
        ASSERT_NE(m_view->movie(), nullptr);
        if (c.cutAfterOpening) {
            ASSERT_TRUE(QFile::resize(c.path, 0));
        }
        std::optional<testsupport::FailLargeAllocations> outOfMemory;
        if (c.failAllocationsFrom != 0)
            outOfMemory.emplace(c.failAllocationsFrom);
        QSignalSpy errors(m_view.get(), &TQTMovie::OnMovieError);
        QSignalSpy stops(m_view.get(), &TQTMovie::OnStop);
        for (int play = 1; play <= 2; ++play) {
            QTest::keyClick(m_view.get(), Qt::Key_Space);
            ASSERT_TRUE(errors.wait(kWaitMs)) << "play " << play;
            EXPECT_EQ(errors.count(), play);
            EXPECT_EQ(errors.last().at(1).toString(), c.text) << "play " << play;
            EXPECT_FALSE(m_view->movie()->playing()) << "play " << play;
        }
        EXPECT_EQ(stops.count(), 0);
    }
}

TEST_F(TQTMovieTest, AnEndMessageOfAGoneTriggerIsIgnored)
{
    m_view->setFileName(clipPath(clips::red320Mov));
    QSignalSpy stops(m_view.get(), &TQTMovie::OnStop);
    QCoreApplication::postEvent(m_view.get(), new MovieEndEvent(0));
    QCoreApplication::sendPostedEvents(m_view.get(), MovieEndMessage);
    EXPECT_EQ(stops.count(), 0);
}

namespace {

// How often the program holds the file at path open.
int openings(const QString& path)
{
    const std::filesystem::path file = QFileInfo(path).canonicalFilePath().toStdString();
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == file)
            ++count;
    }
    return count;
}

} // namespace

TEST(TQTMovieClosing, ClosingBeforeTheSessionEndsReleasesEverything)
{
    std::vector<std::string> calls;
    const QString path = clipPath(clips::red320Mov);
    {
        MovieEngineSession session(std::make_unique<FakeEngineLibrary>(0, 0, &calls));
        auto view = std::make_unique<TQTMovie>();
        view->resize(320, 240);
        view->show();
        view->setFileName(path);
        QTest::keyClick(view.get(), Qt::Key_Space);
        ASSERT_NE(view->movie(), nullptr);
        ASSERT_TRUE(view->movie()->playing());
        EXPECT_EQ(openings(path), 1) << "the playing clip is open once";
        view.reset(); // a playing movie, its controller and its trigger go with the view
        QCoreApplication::processEvents(); // its timer and messages find nothing
        EXPECT_EQ(openings(path), 0) << "the clip stays open without its view";
        EXPECT_EQ(calls, (std::vector<std::string>{"initialize", "enterMovies"}))
            << "the engine stops only with its session";
    }
    EXPECT_EQ(calls,
              (std::vector<std::string>{"initialize", "enterMovies", "exitMovies", "terminate"}));
}

TEST(TQTMovieWithoutEngine, GuardedOperationsOnlyRaiseTheNotice)
{
    MovieEngineSession session(std::make_unique<FakeEngineLibrary>(-2020, 0, nullptr));
    ASSERT_FALSE(QuickTimeAvailable());
    TQTMovie view;
    view.setColor(kControlColour);
    QSignalSpy notices(&view, &TQTMovie::OnQuickTimeNotAvailable);

    view.setFileName(clipPath(clips::red320Mov));
    EXPECT_EQ(notices.count(), 1) << "setting FileName";
    EXPECT_EQ(notices.at(0).at(0).value<TQTMovie*>(), &view);
    EXPECT_EQ(view.FileName(), QString());
    EXPECT_EQ(view.movie(), nullptr);

    view.setKeepScale(true);
    EXPECT_EQ(notices.count(), 2) << "setting KeepScale";
    EXPECT_FALSE(view.KeepScale());

    view.resize(320, 240);
    view.show();
    EXPECT_EQ(notices.count(), 3) << "creating the native window";
    EXPECT_FALSE(view.hasPortAssociation());
    EXPECT_EQ(view.grab().toImage().pixelColor(160, 120), kControlColour);

    view.setLooping(true); // plain values stay settable
    EXPECT_TRUE(view.Looping());
    EXPECT_EQ(notices.count(), 3);
}
