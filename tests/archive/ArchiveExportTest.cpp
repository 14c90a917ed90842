// The export command over a tree the station wrote from real receivers'
// sentences: the GPX and the NMEA log read back by gpsbabel give the points,
// times and order of the archive's sentences (gpsbabel reading them itself is
// the reference); the GPX is well-formed for xmllint; the range and the clips
// copied beside the GPX; and the command's complaints.
#include "ArchiveNames.h"
#include "ArchiveTestTree.h"
#include "ChildProcess.h"
#include "ExportCommand.h"
#include "OutputFile.h"
#include "TerminalText.h"
#include "TextCodec.h"

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

// The programs themselves over a real archive: what is not there is named
// with what is, a day's recorders are listed, and the exit codes say which.
TEST(ArchiveExportTest, TheProgramsSayWhatIsNotThereAndListADaysRecorders)
{
    StationArchive station({2026, 12, 8, 14, 0, 0, 0});
    const std::string sentence = archivetest::logSentences("rmc-fixes.nmea").front();
    station.position("BUS-12_1", sentence);
    station.position("VAN-7_2", sentence);
    station.clock.set({2026, 12, 9, 9, 0, 0, 0});
    station.position("BUS-12_1", sentence);
    const std::string root = station.root();
    const std::string program = TESSARO_ARCHIVE;
    struct Case
    {
        const char* legend;
        std::vector<std::string> args;
        int code;         // -1: the browser, which stays open with its window
        std::string said; // the first line printed (standard output and error merged)
    };
    const std::vector<Case> cases = {
        {"a day's recorders listed without --key",
         {"export", "--day", "2026-12-08", "--archive", root},
         0,
         "BUS-12_1"},
        {"a missing --archive folder",
         {"export", "--day", "2026-12-08", "--archive", root + "nowhere"},
         1,
         "export: no such folder: " + root + "nowhere"},
        {"a day the archive lacks, with the days it has",
         {"export", "--day", "2026-12-07", "--key", "BUS-12_1", "--gpx", root + "x.gpx",
          "--archive", root},
         1,
         "export: no such day 2026-12-07 in the archive " + root +
             " (its days: 2026-12-08, 2026-12-09)"},
        {"a recorder the day lacks, with those it has",
         {"export", "--day", "2026-12-09", "--key", "VAN-7_2", "--gpx", root + "x.gpx", "--archive",
          root},
         1,
         "export: 2026-12-09 has no recorder \"VAN-7_2\" (it has \"BUS-12_1\")"},
        {"outputs without --key",
         {"export", "--day", "2026-12-08", "--nmea", root + "x.nmea", "--archive", root},
         2,
         "export: --gpx, --nmea and --clips need --key (without it the day's recorders are "
         "listed)"},
        {"the browser: a day the archive lacks",
         {root, "--day", "2026-12-07", "--key", "BUS-12_1"},
         -1,
         "TessaroArchive: no such day 2026-12-07 in the archive " + root +
             " (its days: 2026-12-08, 2026-12-09)"},
        {"the browser: a recorder the day lacks",
         {root, "--day", "2026-12-09", "--key", "VAN-7_2"},
         -1,
         "TessaroArchive: 2026-12-09 has no recorder \"VAN-7_2\" (it has \"BUS-12_1\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess run(argv, ChildProcess::Output::CaptureBoth, {"QT_QPA_PLATFORM=offscreen"});
        if (c.code < 0) {
            // The window stays open, and Qt may say things of its own first;
            // the process ends with the test's ChildProcess.
            std::optional<std::string> line;
            while ((line = run.readLine(kToolTimeout)) && !line->starts_with("TessaroArchive:")) {
            }
            EXPECT_EQ(line, c.said);
            continue;
        }
        EXPECT_EQ(run.readLine(kToolTimeout), c.said);
        if (c.code == 0) {
            EXPECT_EQ(run.readLine(kToolTimeout), "VAN-7_2");
        }
        EXPECT_EQ(run.readLine(kToolTimeout), std::nullopt) << "nothing more";
        ASSERT_TRUE(run.waitExit(kToolTimeout));
        EXPECT_EQ(run.exitCode(), c.code);
    }
    EXPECT_FALSE(fs::exists(root + "x.gpx"));
    EXPECT_FALSE(fs::exists(root + "x.nmea"));
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
         "no such day 2026-12-07 in the archive " + archiveFolder + " (its days: 2026-12-08)"},
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
        {{"--day", "2026-12-08", "--gpx", gpx},
         kExportBadUsage,
         "--gpx, --nmea and --clips need --key"},
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

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The temporary files an export left behind in a folder and its subfolders.
std::vector<std::string> partialFiles(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().starts_with(kOutputPartialPrefix))
            found.push_back(e.path().string());
    return found;
}

// Arguments with "@" at the front of a value taken as a name in the folder.
std::vector<std::string> inFolder(std::vector<std::string> args, const std::string& folder)
{
    for (std::string& a : args)
        if (a.starts_with("@"))
            a = folder + a.substr(1);
    return args;
}

} // namespace

TEST(ArchiveExportTest, NeverWritesThroughALinkNorReplacesAnOutputUnasked)
{
    const std::string kVictim = "the user's own file\n";
    const std::string kOutside = "a file outside the archive\n";
    const std::string clipName = "140001_CH_1.mov", linkedClip = "140002_CH_2.mov";
    const std::string clipBytes = [] {
        const auto bytes = archivetest::clipEvent(2600, 0x42);
        return std::string(bytes.begin(), bytes.end());
    }();
    // A file's expected state afterwards: "->" a link to the victim still, or
    // the text it begins with.
    constexpr std::string_view kStillLink = "->";
    struct Expect
    {
        std::string name; // in the output folder
        std::string state;
    };
    struct Case
    {
        std::string legend;
        std::vector<std::pair<std::string, std::string>> plant; // name, "->" link target or text
        bool archivedClipIsLink = false;
        std::vector<std::string> args;
        int code;
        std::string err;
        std::vector<Expect> after;
    };
    const std::vector<Case> cases = {
        {"the old fixed temporary name is a link to the user's file",
         {{"day.gpx.partial", "->victim"}},
         false,
         {"--gpx", "@day.gpx"},
         kExportDone,
         "",
         {{"day.gpx", "<?xml"}, {"day.gpx.partial", "->"}}},
        {"the output is a link to another file",
         {{"day.gpx", "->victim"}},
         false,
         {"--gpx", "@day.gpx"},
         kExportFailed,
         "day.gpx exists already (give --force to replace it)",
         {{"day.gpx", "->"}}},
        {"the output is a link, --force: the link is replaced, not its target",
         {{"day.gpx", "->victim"}},
         false,
         {"--gpx", "@day.gpx", "--force"},
         kExportDone,
         "",
         {{"day.gpx", "<?xml"}}},
        {"the output exists",
         {{"day.nmea", "an earlier export\n"}},
         false,
         {"--nmea", "@day.nmea"},
         kExportFailed,
         "day.nmea exists already (give --force to replace it)",
         {{"day.nmea", "an earlier export\n"}}},
        {"the output exists, --force",
         {{"day.nmea", "an earlier export\n"}},
         false,
         {"--nmea", "@day.nmea", "--force"},
         kExportDone,
         "",
         {{"day.nmea", "$GPRMC"}}},
        {"the output is a dangling link",
         {{"day.nmea", "->nowhere"}},
         false,
         {"--nmea", "@day.nmea"},
         kExportFailed,
         "day.nmea exists already",
         {}},
        {"several outputs exist: all named, nothing written",
         {{"day.gpx", "old"}, {"clips/" + clipName, "old"}, {"clips/route.gpx", "old"}},
         false,
         {"--gpx", "@day.gpx", "--nmea", "@day.nmea", "--clips", "@clips"},
         kExportFailed,
         "3 outputs exist already: ",
         {{"day.gpx", "old"}, {"clips/" + clipName, "old"}, {"day.nmea", "absent"}}},
        {"the clips folder holds a link named like the clip",
         {{"clips/" + clipName, "->victim"}},
         false,
         {"--clips", "@clips"},
         kExportFailed,
         "clips/" + clipName + " exists already",
         {{"clips/" + clipName, "->"}, {"clips/route.gpx", "absent"}}},
        {"the clips folder holds a link named like the clip, --force",
         {{"clips/" + clipName, "->victim"}},
         false,
         {"--clips", "@clips", "--force"},
         kExportDone,
         "",
         {{"clips/" + clipName, clipBytes}, {"clips/route.gpx", "<?xml"}}},
        {"the clips folder is a link",
         {{"clips", "->elsewhere"}},
         false,
         {"--clips", "@clips", "--force"},
         kExportFailed,
         "clips: it is a symbolic link",
         {{"elsewhere", "absent"}}},
        {"a clip in the archive is a link to a file outside: left out and told",
         {},
         true,
         {"--clips", "@clips", "--gpx", "@day.gpx"},
         kExportDone,
         "left out the clip ",
         {{"clips/" + clipName, clipBytes}, {"clips/" + linkedClip, "absent"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        StationArchive station({2026, 12, 8, 14, 0, 0, 0});
        station.position("BUS-12_1", archivetest::logSentences("rmc-fixes.nmea").front());
        station.clock.advance(1000);
        station.clip("BUS-12_1", 2600, "1");
        TempFolder out;
        const std::string victim = out.path() + "victim", outside = out.path() + "outside";
        std::ofstream(victim) << kVictim;
        std::ofstream(outside) << kOutside;
        if (c.archivedClipIsLink)
            fs::create_symlink(outside, station.root() + "2026/12/08/BUS-12_1/" + linkedClip);
        for (const auto& [name, what] : c.plant) {
            fs::create_directories(fs::path(out.path() + name).parent_path());
            if (what.starts_with(kStillLink))
                fs::create_symlink(out.path() + what.substr(kStillLink.size()), out.path() + name);
            else
                std::ofstream(out.path() + name) << what;
        }
        std::vector<std::string> args = {"export",   "--day",     "2026-12-08",  "--key",
                                         "BUS-12_1", "--archive", station.root()};
        for (const std::string& a : inFolder(c.args, out.path()))
            args.push_back(a);
        const Exported run = exportWith(args);

        EXPECT_EQ(run.code, c.code) << run.err;
        if (c.err.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(fileText(victim), kVictim);
        EXPECT_EQ(fileText(outside), kOutside);
        EXPECT_EQ(partialFiles(out.path()), std::vector<std::string>{});
        for (const Expect& e : c.after) {
            const std::string path = out.path() + e.name;
            if (e.state == "absent")
                EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << e.name;
            else if (e.state == kStillLink)
                EXPECT_TRUE(fs::is_symlink(path)) << e.name;
            else
                EXPECT_TRUE(!fs::is_symlink(path) && fileText(path).starts_with(e.state))
                    << e.name << ": " << fileText(path).substr(0, 40);
        }
        if (c.archivedClipIsLink) {
            EXPECT_NE(run.out.find("; 1 clip left out"), std::string::npos) << run.out;
            EXPECT_EQ(fileText(out.path() + "day.gpx").find(linkedClip), std::string::npos);
        }
    }
}

TEST(ArchiveExportTest, AnOutputIsWholeUnderItsNameOrNotThere)
{
    // A writer that stops midway (as a kill or a full disk would), and one
    // that ends: the name appears only with the whole file, and no temporary
    // file stays behind.
    TempFolder out;
    const std::string path = out.path() + "clip.mov";
    const std::string piece(1 << 16, 'C');
    constexpr int kPieces = 16;
    for (const bool fails : {true, false}) {
        SCOPED_TRACE(fails ? "the writer fails after half" : "the writer ends");
        int written = 0;
        const std::string error =
            writeOutputFile(path, ExistingOutput::Refuse, [&](const OutputSink& sink) {
                for (; written < kPieces; ++written) {
                    EXPECT_FALSE(fs::exists(path)) << "the name appeared before the rename";
                    EXPECT_EQ(partialFiles(out.path()).size(), 1u);
                    if (fails && written == kPieces / 2)
                        return std::string("cannot read the clip: Input/output error");
                    EXPECT_EQ(sink(piece), 0);
                }
                return std::string();
            });
        EXPECT_EQ(partialFiles(out.path()), std::vector<std::string>{});
        if (fails) {
            EXPECT_EQ(error, "cannot read the clip: Input/output error");
            EXPECT_FALSE(fs::exists(path));
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(fs::file_size(path), piece.size() * kPieces);
        }
    }
}

TEST(ArchiveExportTest, PrintsArchivedTextEscapedAndLogsOnlyWellFormedSentences)
{
    using namespace std::string_literals;
    // What reaches the terminal: printable text as it is, all else escaped.
    struct Shown
    {
        std::string legend, text, shown;
    };
    const std::vector<Shown> shown = {
        {"plain text with quotes", "BUS-12_1 \"north\"", "BUS-12_1 \"north\""},
        {"an escape sequence that clears the screen", "A\x1b[2J\x1b]0;t\x07",
         "A\\x1B[2J\\x1B]0;t\\x07"},
        {"NUL, CR, LF, tab, DEL", "a\0b\rc\nd\te\x7f"s, "a\\x00b\\x0Dc\\x0Ad\\x09e\\x7F"},
        {"letters beyond ASCII", "Zürich 北京", "Zürich 北京"},
        {"a C1 control sequence introducer",
         "A\xc2\x9b"
         "31m",
         "A\\u009B31m"},
        {"a right-to-left override",
         "A\xe2\x80\xae"
         "fdp.exe",
         "A\\u202Efdp.exe"},
        {"bytes that are not UTF-8", "A\xff\xc3", "A\\xFF\\xC3"},
        {"an overlong slash and a surrogate", "\xc0\xaf\xed\xa0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},
        {"a backslash", "a\\x41", "a\\\\x41"},
        {"Windows-1252 from the wire, its undefined byte",
         platform::windows1252ToUtf8("M\xfcnchen \x80\x81"), "München €\\u0081"},
    };
    for (const Shown& s : shown)
        EXPECT_EQ(terminalText(s.text), s.shown) << s.legend;

    // Through the command: a key with escape sequences, and position texts
    // that are not one well-formed sentence each.
    const std::vector<std::string> good = archivetest::logSentences("rmc-fixes.nmea");
    ASSERT_GE(good.size(), 2u);
    std::string badChecksum = good[0];
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    // Each position file's bytes, and whether the log keeps them; the station
    // cuts what it archives at a zero byte, so files with zero bytes (as a
    // crash may leave them) are written over its files.
    struct Stored
    {
        std::string bytes;
        bool wellFormed;
        bool overwritten = false;
    };
    const std::vector<Stored> positions = {
        {good[0], true},              // well-formed
        {"\x1b[2J" + good[1], false}, // an escape sequence in front
        {good[1].substr(0, 20) + "\0\0"s + good[1].substr(20), false, true}, // zero bytes inside
        {std::string(64, '\0'), false, true},               // zero-filled by a crash
        {badChecksum, false},                               // a wrong checksum
        {"", false},                                        // an empty position file
        {good[1] + "\xb0", false},                          // a byte beyond ASCII after it
        {"$GPTXT,01,01,02," + std::string(70, 'X'), false}, // longer than a sentence
        {good[1], true},                                    // well-formed
    };
    const std::string key = "BUS\x1b[31m\x9b"
                            "2J\r\n\x81_1"; // Windows-1252 on the wire
    StationArchive station({2026, 12, 8, 14, 0, 0, 0});
    const std::string folder = deviceFolderName(key);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        station.position(key, positions[i].bytes);
        if (positions[i].overwritten)
            std::ofstream(station.root() + "2026/12/08/" + folder + "/14000" + std::to_string(i) +
                              ".bin",
                          std::ios::binary | std::ios::trunc)
                << positions[i].bytes;
        station.clock.advance(1000);
    }
    TempFolder out;
    const std::string nmea = out.path() + "day.nmea";
    // The key is given by its folder's name, as a script that listed the day would.
    const Exported run = exportWith(
        {"--day", "2026-12-08", "--key", folder, "--nmea", nmea, "--archive", station.root()});
    ASSERT_EQ(run.code, kExportDone) << run.err;
    std::string expectedLog;
    for (const Stored& p : positions)
        if (p.wellFormed)
            expectedLog += p.bytes + "\n";
    EXPECT_EQ(fileText(nmea), expectedLog);
    EXPECT_EQ(run.out, "Exported 9 positions and 0 clips of \"BUS\\x1B[31m›2J\\x0D\\x0A\\u0081_1\" "
                       "on 2026-12-08, 00:00:00-24:00:00; 7 positions left out of the NMEA log "
                       "(not a well-formed sentence)\n");

    // A key that the day lacks: the day's keys are listed escaped too.
    const Exported missing =
        exportWith({"--day", "2026-12-08", "--key", "BUS\x1b]0;x\x07", "--nmea",
                    out.path() + "other.nmea", "--archive", station.root()});
    EXPECT_EQ(missing.code, kExportFailed);
    EXPECT_EQ(missing.err, "export: 2026-12-08 has no recorder \"BUS\\x1B]0;x\\x07\" (it has "
                           "\"BUS\\x1B[31m›2J\\x0D\\x0A\\u0081_1\")\n");
}

TEST(ArchiveExportTest, ExportsARecorderDaySpreadOverTwoGatewaysArchives)
{
    // The recorder redials and reaches the other gateway every few sentences;
    // at 14:00:02 both gateways archived a clip of channel 2 under one name.
    const std::vector<std::string> sentences = archivetest::logSentences("bt451-car.nmea", "RMC,");
    ASSERT_GE(sentences.size(), 12u);
    StationArchive gateway1({2026, 12, 8, 14, 0, 0, 0});
    StationArchive gateway2({2026, 12, 8, 14, 0, 0, 0});
    const std::string key = "BUS-12_1";
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        StationArchive& gateway = (i / 3) % 2 == 0 ? gateway1 : gateway2;
        gateway.position(key, sentences[i]);
        gateway1.clock.advance(500);
        gateway2.clock.advance(500);
    }
    for (StationArchive* gateway : {&gateway1, &gateway2}) {
        gateway->clock.set({2026, 12, 8, 14, 0, 2, 0});
        const auto fill = static_cast<std::uint8_t>(gateway == &gateway1 ? 0x11 : 0x22);
        ASSERT_FALSE(
            gateway->archive.StoreClip(key, archivetest::clipEvent(2600, fill), "2").failed());
    }

    TempFolder out;
    const std::string gpx = out.path() + "day.gpx", nmea = out.path() + "day.nmea",
                      clips = out.path() + "clips";
    const Exported run =
        exportWith({"export", "--day", "2026-12-08", "--key", key, "--gpx", gpx, "--nmea", nmea,
                    "--clips", clips, "--archive", gateway1.root(), "--archive", gateway2.root()});
    ASSERT_EQ(run.code, kExportDone) << run.err;
    EXPECT_EQ(run.out, "Exported " + std::to_string(sentences.size()) +
                           " positions and 2 clips of \"BUS-12_1\" on 2026-12-08, "
                           "00:00:00-24:00:00\n");

    // The log holds every sentence once, in the order the recorder sent them.
    std::ifstream log(nmea);
    std::vector<std::string> logged;
    for (std::string line; std::getline(log, line);)
        logged.push_back(line);
    EXPECT_EQ(logged, sentences);
    const std::string reference = out.path() + "reference.nmea";
    writeLines(reference, sentences);
    expectSamePoints(gpsbabelPoints("gpx", gpx), gpsbabelPoints("nmea", reference));

    // Both clips, neither over the other, each linked from the route.
    EXPECT_EQ(filesIn(clips), (std::vector<std::string>{"140002_CH_2.archive2.mov",
                                                        "140002_CH_2.mov", "route.gpx"}));
    const auto firstByte = [&](const std::string& name) {
        std::ifstream in(clips + "/" + name, std::ios::binary);
        return in.get();
    };
    EXPECT_EQ(firstByte("140002_CH_2.mov"), 0x11);
    EXPECT_EQ(firstByte("140002_CH_2.archive2.mov"), 0x22);
    std::ifstream route(clips + "/route.gpx");
    const std::string text(std::istreambuf_iterator<char>(route), {});
    EXPECT_NE(text.find("<link href=\"140002_CH_2.mov\"/>"), std::string::npos) << text;
    EXPECT_NE(text.find("<link href=\"140002_CH_2.archive2.mov\"/>"), std::string::npos) << text;
}
