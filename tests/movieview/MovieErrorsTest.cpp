// The error texts at the table's edges, the two checks, and the engine's
// program-wide start and stop.
#include "MovieErrors.h"

#include "EngineErrors.h"
#include "FakeEngineLibrary.h"
#include "MovieEngineSession.h"
#include "MovieError.h"

#include <gtest/gtest.h>
#include <set>

using namespace movieview;
using movietest::FakeEngineLibrary;

namespace {

struct TextCase
{
    const char* legend;
    int code;
    QString text;
};

const TextCase kTexts[] = {
    {"0 has the empty text", 0, QString()},
    {"upper boundary of the table", -2000, "Cannot use this data reference"},
    {"lower boundary of the table", -2049, "Invalid data reference"},
    {"just above the table", -1999, "Unknown error"},
    {"just below the table", -2050, "Unknown error"},
    {"a positive code", 1, "Unknown error"},
    {"the largest code", 32767, "Unknown error"},
    {"the smallest code", -32768, "Unknown error"},
    {"the longest text", -2022,
     "Error trying to create a single-fork file. This occurs when the file already exists."},
    {"a row in the middle", -2034, "Internal error"},
    {"curly apostrophe, -2017", -2017,
     QString::fromUtf16(u"The track\u2019s edit list is corrupted")},
    {"curly apostrophe, -2018", -2018, QString::fromUtf16(u"These media don\u2019t match")},
    {"curly apostrophe, -2020", -2020,
     QString::fromUtf16(u"You haven\u2019t initialized the Movie Toolbox")},
};

std::unique_ptr<EngineLibrary> workingEngine(std::vector<std::string>* calls = nullptr)
{
    return std::make_unique<FakeEngineLibrary>(0, 0, calls);
}

} // namespace

TEST(MovieErrorText, TableEdgesAndSpecialCodes)
{
    for (const auto& c : kTexts)
        EXPECT_EQ(MovieErrorText(static_cast<MovieErrorCode>(c.code)), c.text) << c.legend;
}

TEST(MovieErrorText, EveryTableRowHasItsOwnText)
{
    std::set<QString> texts;
    for (int code = -2049; code <= -2000; ++code) {
        const QString text = MovieErrorText(static_cast<MovieErrorCode>(code));
        EXPECT_FALSE(text.isEmpty()) << code;
        EXPECT_NE(text, "Unknown error") << code;
        // Only the three rows above carry a non-ASCII character.
        const bool curly = text.contains(QChar(0x2019));
        EXPECT_EQ(curly, code == -2017 || code == -2018 || code == -2020) << code;
        EXPECT_FALSE(text.contains('\'')) << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 50u);
}

TEST(MovieChecks, LastErrorThrowsItsTextAndZeroNever)
{
    MovieEngineSession session(workingEngine());
    session.errors().note(0);
    EXPECT_NO_THROW(CheckMoviesError());
    session.errors().note(-2048);
    try {
        CheckMoviesError();
        FAIL() << "no error raised";
    } catch (const MovieError& e) {
        EXPECT_EQ(e.text(), "Toolbox cannot find a movie in the movie file");
    }
    session.errors().note(0); // the next call's success hides the earlier failure
    EXPECT_NO_THROW(CheckMoviesError());
}

TEST(MovieChecks, StickyErrorKeepsTheFirstFailureUntilCleared)
{
    MovieEngineSession session(workingEngine());
    EXPECT_NO_THROW(CheckMoviesStickyError());
    session.errors().note(-2042);
    session.errors().note(-2046); // a later failure does not replace the first
    session.errors().note(0);     // nor does a later success clear it
    try {
        CheckMoviesStickyError();
        FAIL() << "no error raised";
    } catch (const MovieError& e) {
        EXPECT_EQ(e.text(), "Cannot read from this data source");
    }
    // The check does not clear it: the next check reports it again.
    EXPECT_THROW(CheckMoviesStickyError(), MovieError);
    ClearMoviesStickyError();
    EXPECT_NO_THROW(CheckMoviesStickyError());
}

TEST(MovieEngineSession, StartAndStopRunOnceWithTheFlag)
{
    struct Case
    {
        const char* legend;
        MovieErrorCode initialize;
        MovieErrorCode enter;
        bool available;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"both start calls succeed",
         0,
         0,
         true,
         {"initialize", "enterMovies", "exitMovies", "terminate"}},
        {"initialize fails: enterMovies is skipped, both stops run",
         -2020,
         0,
         false,
         {"initialize", "exitMovies", "terminate"}},
        {"enterMovies fails",
         0,
         -2034,
         false,
         {"initialize", "enterMovies", "exitMovies", "terminate"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> calls;
        EXPECT_FALSE(QuickTimeAvailable()) << c.legend << ": before the start";
        {
            MovieEngineSession session(
                std::make_unique<FakeEngineLibrary>(c.initialize, c.enter, &calls));
            EXPECT_EQ(QuickTimeAvailable(), c.available) << c.legend;
            EXPECT_EQ(session.available(), c.available) << c.legend;
        }
        EXPECT_EQ(calls, c.calls) << c.legend;
        EXPECT_FALSE(QuickTimeAvailable()) << c.legend << ": after the stop";
    }
}

TEST(MovieEngineSession, OnlyOneAtATime)
{
    MovieEngineSession first(workingEngine());
    EXPECT_THROW(MovieEngineSession second(workingEngine()), std::logic_error);
    EXPECT_EQ(MovieEngineSession::current(), &first);
}

TEST(MovieEngineSession, TheFfmpegEngineStarts)
{
    MovieEngineSession session;
    EXPECT_TRUE(QuickTimeAvailable());
}
