// The export command over a tree the station wrote from real receivers'
// sentences: the GPX and the NMEA log read back by gpsbabel give the points,
// times and order of the archive's sentences (gpsbabel reading them itself is
// the reference); the GPX is well-formed for xmllint; the range and the clips
// copied beside the GPX; and the command's complaints.
#include "ArchiveTestTree.h"
#include "ChildProcess.h"
#include "ExportCommand.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace archive;
using archivetest::StationArchive;
using testsupport::ChildProcess;
using testsupport::findTool;
namespace fs = std::filesystem;

namespace {

constexpr auto kToolTimeout = std::chrono::seconds(20);

struct Exported
{
    int code;
    std::string out, err;
};

Exported exportWith(std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int code = runExportCommand(args, out, err);
    return {code, out.str(), err.str()};
}

// The standard output of a tool, line by line; fails when it does not end well.
std::vector<std::string> toolLines(const std::vector<std::string>& argv)
{
    ChildProcess tool(argv, ChildProcess::Output::Capture);
    std::vector<std::string> lines;
    while (auto line = tool.readLine(kToolTimeout)) {
        if (line->ends_with('\r'))
            line->pop_back();
        lines.push_back(*line);
    }
    EXPECT_TRUE(tool.waitExit(kToolTimeout));
    EXPECT_EQ(tool.exitCode(), 0) << argv[0];
    return lines;
}

struct Point
{
    double latitude, longitude;
    std::string time; // "2009/12/09 14:33:06.500"
};

// Equal points: the same time, and places the same to the last of gpsbabel's
// six decimals, which its own reading of a sentence may round either way.
void expectSamePoints(const std::vector<Point>& actual, const std::vector<Point>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    constexpr double kLastDecimal = 1.01e-6;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].time, expected[i].time) << i;
        EXPECT_NEAR(actual[i].latitude, expected[i].latitude, kLastDecimal) << i;
        EXPECT_NEAR(actual[i].longitude, expected[i].longitude, kLastDecimal) << i;
    }
}

// Points as gpsbabel reads a file.
std::vector<Point> gpsbabelPoints(const std::string& format, const std::string& file)
{
    const std::vector<std::string> lines =
        toolLines({findTool("gpsbabel", "gpsbabel"), "-t", "-i", format, "-f", file, "-o", "unicsv",
                   "-F", "-"});
    if (lines.empty())
        return {};
    const auto split = [](const std::string& line) {
        std::vector<std::string> cells;
        std::stringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');)
            cells.push_back(cell);
        return cells;
    };
    const std::vector<std::string> header = split(lines.front());
    const auto column = [&](const std::string& name) {
        const auto it = std::find(header.begin(), header.end(), name);
        if (it == header.end())
            throw std::runtime_error("gpsbabel gave no " + name + " column: " + lines.front());
        return static_cast<std::size_t>(it - header.begin());
    };
    const std::size_t lat = column("Latitude"), lon = column("Longitude"), date = column("Date"),
                      time = column("Time");
    std::vector<Point> points;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> c = split(lines[i]);
        points.push_back(
            {std::stod(c.at(lat)), std::stod(c.at(lon)), c.at(date) + " " + c.at(time)});
    }
    return points;
}

void writeLines(const std::string& path, const std::vector<std::string>& lines)
{
    std::ofstream out(path);
    for (const std::string& l : lines)
        out << l << "\n";
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ArchiveExportTest, GpxAndNmeaLogGiveBackTheArchivedRoute)
{
    // Both hemispheres, fractional and whole seconds, empty courses, other
    // dates, "$GN" talkers, two fixes a second: same-second files.
    std::vector<std::string> sentences = archivetest::logSentences("bt451-car.nmea", "RMC,");
    for (const auto& s : archivetest::logSentences("rmc-fixes.nmea"))
        sentences.push_back(s);
    for (const auto& s : archivetest::logSentences("neo-m8n-parked.nmea", "RMC,"))
        sentences.push_back(s);
    StationArchive station({2026, 12, 8, 13, 59, 50, 0});
    const std::string key = "BUS-12_1";
    station.position("BUS-13_1", sentences.back());
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        station.position(key, sentences[i]);
        if (i == 3)
            station.clip(key, 2500, "1"); // before the range
        if (i == 24)
            station.clip(key, 2600, "ALL");
        station.clock.advance(500);
    }
    station.clip(key, 2700, "3"); // at the range's end: outside
    // 32 sentences from 13:59:50, two a second: 14:00:00 to 14:00:05 holds
    // the 21st to the 30th, and the clip at 14:00:02.
    ASSERT_EQ(sentences.size(), 32u);
    const auto inRange = [&](std::size_t i) { return i >= 20 && i < 30; };

    TempFolder out;
    const std::string gpx = out.path() + "day.gpx", nmea = out.path() + "day.nmea",
                      clips = out.path() + "clips";
    const std::vector<std::string> common = {
        "--day", "2026-12-08", "--key",        key,      "--gpx", gpx, "--nmea",
        nmea,    "--archive",  station.root(), "--force"};
    // The whole day, then a range with the clips.
    for (const bool ranged : {false, true}) {
        SCOPED_TRACE(ranged ? "14:00:00 to 14:00:05" : "the whole day");
        std::vector<std::string> args = {"export"};
        args.insert(args.end(), common.begin(), common.end());
        if (ranged)
            args.insert(args.end(), {"--from", "14:00", "--to", "14:00:05", "--clips", clips});
        const Exported run = exportWith(args);
        ASSERT_EQ(run.code, kExportDone) << run.err;

        std::vector<std::string> expected;
        for (std::size_t i = 0; i < sentences.size(); ++i)
            if (!ranged || inRange(i))
                expected.push_back(sentences[i]);
        const std::string reference = out.path() + "reference.nmea";
        writeLines(reference, expected);
        const std::vector<Point> points = gpsbabelPoints("nmea", reference);
        ASSERT_FALSE(points.empty());
        ASSERT_EQ(points.size(), expected.size());
        expectSamePoints(gpsbabelPoints("gpx", gpx), points);
        expectSamePoints(gpsbabelPoints("nmea", nmea), points);
        // The log is the sentences themselves, in order.
        std::ifstream log(nmea);
        std::vector<std::string> logged;
        for (std::string line; std::getline(log, line);)
            logged.push_back(line);
        EXPECT_EQ(logged, expected);

        toolLines({findTool("xmllint", "libxml2-utils"), "--noout", gpx});
        if (ranged) {
            // The clip of the range and the GPX beside it, which names it.
            EXPECT_EQ(filesIn(clips), (std::vector<std::string>{"140002_CH_ALL.mov", "route.gpx"}));
            EXPECT_EQ(fs::file_size(fs::path(clips) / "140002_CH_ALL.mov"), 2600u);
            expectSamePoints(gpsbabelPoints("gpx", clips + "/route.gpx"), points);
            std::ifstream route(clips + "/route.gpx");
            const std::string text(std::istreambuf_iterator<char>(route), {});
            EXPECT_NE(text.find("<link href=\"140002_CH_ALL.mov\"/>"), std::string::npos) << text;
        }
    }
}

TEST(ArchiveExportTest, SaysWhatIsWrongAndWritesNothing)
{
    StationArchive station({2026, 12, 8, 14, 0, 0, 0});
    station.position("BUS-12_1", archivetest::logSentences("rmc-fixes.nmea").front());
    TempFolder out;
    const std::string gpx = out.path() + "day.gpx";
    const std::string archiveFolder = station.root();
    struct Case
    {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--day", "2026-12-07", "--key", "BUS-12_1", "--gpx", gpx},
         kExportFailed,
         "holds no day 2026-12-07"},
        {{"--day", "2026-12-08", "--key", "BUS-99_1", "--gpx", gpx},
         kExportFailed,
         "2026-12-08 has no recorder \"BUS-99_1\" (it has \"BUS-12_1\")"},
        {{"--day", "2026-02-30", "--key", "BUS-12_1", "--gpx", gpx},
         kExportBadUsage,
         "\"2026-02-30\" is not a date"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1", "--from", "14:60", "--gpx", gpx},
         kExportBadUsage,
         "--from: \"14:60\" is not a time"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1", "--from", "15:00", "--to", "14:00", "--gpx",
          gpx},
         kExportBadUsage,
         "--from 15:00:00 is not before --to 14:00:00"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1"}, kExportBadUsage, "nothing to write"},
        {{"--key", "BUS-12_1", "--gpx", gpx}, kExportBadUsage, "--day"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1", "--gpx", gpx, "--map", "x"},
         kExportBadUsage,
         "unknown option --map"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1", "--gpx", out.path() + "no/such/day.gpx"},
         kExportFailed,
         "cannot write " + out.path() + "no/such/day.gpx"},
        {{"--day", "2026-12-08", "--key", "BUS-12_1", "--nmea", out.path()},
         kExportFailed,
         "cannot write"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--archive", archiveFolder});
        const Exported run = exportWith(args);
        EXPECT_EQ(run.code, c.code) << c.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_TRUE(fs::is_empty(out.path())) << c.err;
    }
    // And the same day exports when all is right.
    const Exported run = exportWith(
        {"--day", "2026-12-08", "--key", "BUS-12_1", "--gpx", gpx, "--archive", archiveFolder});
    EXPECT_EQ(run.code, kExportDone) << run.err;
    EXPECT_TRUE(fs::exists(gpx));
}
