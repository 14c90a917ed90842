#include "ExportCommand.h"

#include "CommandLine.h"
#include "ExportFiles.h"
#include "GpxExport.h"
#include "Paths.h"
#include "TextCodec.h"

#include <string_view>

namespace archive {

namespace {

constexpr std::string_view kCommand = "export";
constexpr std::string_view kRouteFile = "route.gpx";
constexpr std::string_view kEndOfDay = "24:00";
constexpr std::size_t kRecordersNamed = 5; // in the complaint about a missing key

struct ExportOptions
{
    Date day;
    std::string key;
    TimeRange range;
    std::string gpx, nmea, clips, archive;
};

std::string counted(std::size_t n, const std::string& what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The end of a range: a time of day, or the day's end.
std::string endText(int to)
{
    return to == kSecondsPerDay ? "24:00:00" : formatTimeOfDay(to);
}

std::string bounded(int from, int to)
{
    return formatTimeOfDay(from) + "-" + endText(to);
}

} // namespace

int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string_view> rest(args.begin(), args.end());
    if (!rest.empty() && rest.front() == kCommand)
        rest.erase(rest.begin());

    ExportOptions o;
    CLI::App app("Exports a recorder's day from the archive: its route as GPX 1.1, its "
                 "position sentences as an NMEA log, its clips.",
                 "TessaroArchive export");
    toolcli::addValue(app, "--day", "YYYY-MM-DD", "the day", [&](const std::string& v) {
        const auto day = parseDate(v);
        if (!day)
            return "--day: \"" + v + "\" is not a date (yyyy-mm-dd)";
        o.day = *day;
        return std::string();
    })->required();
    app.add_option("--key", o.key, "the recorder's key (or its folder's name)")
        ->type_name("KEY")
        ->required();
    toolcli::addValue(app, "--from", "HH:MM[:SS]", "from this local time (inclusive)",
                      [&](const std::string& v) {
                          const auto t = parseTimeOfDay(v);
                          if (!t)
                              return "--from: \"" + v + "\" is not a time (hh:mm or hh:mm:ss)";
                          o.range.from = *t;
                          return std::string();
                      });
    toolcli::addValue(
        app, "--to", "HH:MM[:SS]", "up to this local time (exclusive; 24:00 for the end)",
        [&](const std::string& v) {
            const auto t = v == kEndOfDay ? std::optional<int>(kSecondsPerDay) : parseTimeOfDay(v);
            if (!t)
                return "--to: \"" + v + "\" is not a time (hh:mm or hh:mm:ss)";
            o.range.to = *t;
            return std::string();
        });
    app.add_option("--gpx", o.gpx, "write the route as GPX 1.1 to FILE")->type_name("FILE");
    app.add_option("--nmea", o.nmea, "write the position sentences to FILE")->type_name("FILE");
    app.add_option("--clips", o.clips, "copy the clips and the GPX into FOLDER")
        ->type_name("FOLDER");
    app.add_option("--archive", o.archive, "the archive folder (default: the program's folder)")
        ->type_name("FOLDER");

    const toolcli::ParseResult parsed = toolcli::parse(app, rest);
    if (parsed.action == toolcli::ParseResult::Action::Help) {
        out << app.help();
        return kExportDone;
    }
    if (parsed.action == toolcli::ParseResult::Action::Error) {
        err << "export: " << parsed.error << "\nTry 'TessaroArchive export --help'.\n";
        return kExportBadUsage;
    }
    if (o.range.from >= o.range.to) {
        err << "export: --from " << formatTimeOfDay(o.range.from) << " is not before --to "
            << endText(o.range.to) << "\n";
        return kExportBadUsage;
    }
    if (o.gpx.empty() && o.nmea.empty() && o.clips.empty()) {
        err << "export: nothing to write: give --gpx, --nmea or --clips\n";
        return kExportBadUsage;
    }
    if (o.archive.empty())
        o.archive = platform::programFolder();

    const ArchiveReader reader(o.archive);
    const std::vector<Recorder> recorders = reader.recorders(o.day);
    if (recorders.empty()) {
        err << "export: the archive " << reader.folder() << " holds no day " << formatDate(o.day)
            << "\n";
        return kExportFailed;
    }
    const std::string wireKey = platform::utf8ToWindows1252(o.key);
    const Recorder* recorder = recorderWithKey(recorders, wireKey);
    if (!recorder)
        for (const Recorder& r : recorders)
            if (r.folder == o.key)
                recorder = &r;
    if (!recorder) {
        err << "export: " << formatDate(o.day) << " has no recorder \"" << o.key << "\" (it has ";
        for (std::size_t i = 0; i < recorders.size() && i < kRecordersNamed; ++i)
            err << (i ? ", " : "") << "\"" << recorders[i].displayName() << "\"";
        if (recorders.size() > kRecordersNamed)
            err << " and " << recorders.size() - kRecordersNamed << " more";
        err << ")\n";
        return kExportFailed;
    }
    const auto whole = reader.recorderDay(o.day, recorder->folder);
    if (!whole) {
        err << "export: cannot read " << reader.dayFolder(o.day) << recorder->folder << "\n";
        return kExportFailed;
    }
    const RecorderDay day = withinRange(*whole, o.range);
    const std::string gpx = gpxDocument(day, recorder->displayName());

    std::string error;
    if (!o.gpx.empty())
        error = writeFileWhole(o.gpx, gpx);
    if (error.empty() && !o.nmea.empty())
        error = writeFileWhole(o.nmea, nmeaLog(day));
    if (error.empty() && !o.clips.empty()) {
        error = copyClips(day, o.clips);
        if (error.empty())
            error = writeFileWhole(platform::joinPath(o.clips, kRouteFile), gpx);
    }
    if (!error.empty()) {
        err << "export: " << error << "\n";
        return kExportFailed;
    }
    out << "Exported " << counted(day.positions.size(), "position") << " and "
        << counted(day.clips.size(), "clip") << " of \"" << recorder->displayName() << "\" on "
        << formatDate(o.day) << ", " << bounded(o.range.from, o.range.to) << "\n";
    return kExportDone;
}

} // namespace archive
