#include "ExportCommand.h"

#include "ArchiveComplaints.h"
#include "ArchiveSet.h"
#include "CommandLine.h"
#include "DataFolder.h"
#include "ExportFiles.h"
#include "GpxExport.h"
#include "Paths.h"
#include "TerminalText.h"
#include "TextCodec.h"

#include <filesystem>
#include <string_view>

namespace archive {

namespace {

constexpr std::string_view kCommand = "export";
constexpr std::string_view kRouteFile = "route.gpx";
constexpr std::string_view kEndOfDay = "24:00";
constexpr std::size_t kExistingNamed = 5; // in the complaint about outputs that exist

struct ExportOptions
{
    Date day;
    std::string key;
    TimeRange range;
    std::string gpx, nmea, clips;
    std::vector<std::string> archives; // one per gateway; read together
    bool force = false;
};

// One line to the terminal: what it holds from the archive or the command
// line is escaped there.
void say(std::ostream& to, const std::string& line)
{
    to << terminalText(line) << '\n';
}

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

// What keeps the export from writing its outputs as asked, before anything is
// written: an output that is a folder, a clips folder that is a link, or
// outputs that exist already without --force (all of them named, up to
// kExistingNamed). Empty when all may be written.
std::string outputsConflict(const ExportOptions& o, const RecorderDay& day)
{
    std::vector<std::string> paths;
    for (const std::string* path : {&o.gpx, &o.nmea})
        if (!path->empty())
            paths.push_back(*path);
    if (!o.clips.empty()) {
        if (std::string conflict = clipsFolderConflict(o.clips); !conflict.empty())
            return conflict;
        for (const Clip& clip : day.clips)
            paths.push_back(platform::joinPath(o.clips, clip.name));
        paths.push_back(platform::joinPath(o.clips, kRouteFile));
    }
    std::vector<std::string> existingPaths;
    for (const std::string& path : paths) {
        const OutputName name = outputName(path);
        if (name == OutputName::Folder)
            return folderOutputText(path);
        if (name == OutputName::Taken)
            existingPaths.push_back(path);
    }
    if (existingPaths.empty() || o.force)
        return {};
    if (existingPaths.size() == 1)
        return existsAlreadyText(existingPaths.front());
    std::string text = counted(existingPaths.size(), "output") + " exist already: ";
    for (std::size_t i = 0; i < existingPaths.size() && i < kExistingNamed; ++i)
        text += (i ? ", " : "") + existingPaths[i];
    if (existingPaths.size() > kExistingNamed)
        text += " and " + std::to_string(existingPaths.size() - kExistingNamed) + " more";
    return text + " (give --force to replace them)";
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
    app.add_option("--key", o.key,
                   "the recorder's key (or its folder's name); without it, the day's recorders "
                   "are listed")
        ->type_name("KEY");
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
    app.add_option(
           "--archive", o.archives,
           "the archive folder (default: the station's data folder, as the station finds it: "
           "beside the program, or ~/.local/share/tessaro for an installed copy); given again for "
           "each "
           "gateway's archive, the recorder's day is read from all of them together")
        ->type_name("FOLDER")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    toolcli::addSwitch(app, "--force", o.force, "replace outputs that exist already");

    const toolcli::ParseResult parsed = toolcli::parse(app, rest);
    if (parsed.action == toolcli::ParseResult::Action::Help) {
        out << app.help();
        return kExportDone;
    }
    if (parsed.action == toolcli::ParseResult::Action::Error) {
        say(err, "export: " + parsed.error);
        err << "Try 'TessaroArchive export --help'.\n";
        return kExportBadUsage;
    }
    if (o.range.from >= o.range.to) {
        say(err, "export: --from " + formatTimeOfDay(o.range.from) + " is not before --to " +
                     endText(o.range.to));
        return kExportBadUsage;
    }
    const bool listing = o.key.empty();
    const bool writing = !o.gpx.empty() || !o.nmea.empty() || !o.clips.empty();
    if (listing && writing) {
        say(err, "export: --gpx, --nmea and --clips need --key (without it the day's recorders "
                 "are listed)");
        return kExportBadUsage;
    }
    if (!listing && !writing) {
        say(err, "export: nothing to write: give --gpx, --nmea or --clips (or leave out --key "
                 "to list the day's recorders)");
        return kExportBadUsage;
    }
    if (o.archives.empty())
        o.archives.push_back(platform::dataFolder(platform::DataOwner::user));
    for (const std::string& folder : o.archives) {
        if (std::string complaint = archiveFolderComplaint(folder); !complaint.empty()) {
            say(err, "export: " + complaint);
            return kExportFailed;
        }
    }

    const ArchiveSet reader(o.archives);
    const std::vector<Recorder> recorders = reader.recorders(o.day);
    if (recorders.empty()) {
        say(err, "export: " + noSuchDayText(reader, o.day));
        return kExportFailed;
    }
    if (listing) {
        for (const Recorder& r : recorders)
            say(out, r.displayName());
        return kExportDone;
    }
    const std::string wireKey = platform::utf8ToWindows1252(o.key);
    const Recorder* recorder = recorderWithKey(recorders, wireKey);
    if (!recorder)
        for (const Recorder& r : recorders)
            if (r.folder == o.key)
                recorder = &r;
    if (!recorder) {
        say(err, "export: " + noSuchRecorderText(o.day, o.key, recorders));
        return kExportFailed;
    }
    const auto whole = reader.recorderDay(o.day, recorder->folder);
    if (!whole) {
        say(err, "export: cannot read " + reader.dayFolder(o.day) + recorder->folder);
        return kExportFailed;
    }
    RecorderDay day = withinRange(*whole, o.range);
    const std::vector<LeftOutClip> leftOutClips = leaveOutUnsafeClips(day);
    if (std::string conflict = outputsConflict(o, day); !conflict.empty()) {
        say(err, "export: " + conflict);
        return kExportFailed;
    }
    for (const LeftOutClip& clip : leftOutClips)
        say(err, "export: left out the clip " + clip.path + ": " + clip.reason);
    const std::string gpx = gpxDocument(day, recorder->displayName());
    const NmeaLog nmea = nmeaLog(day);

    const ExistingOutput existing = o.force ? ExistingOutput::Replace : ExistingOutput::Refuse;
    std::string error;
    if (!o.gpx.empty())
        error = writeOutputFile(o.gpx, existing, gpx);
    if (error.empty() && !o.nmea.empty())
        error = writeOutputFile(o.nmea, existing, nmea.text);
    if (error.empty() && !o.clips.empty()) {
        error = copyClips(day, o.clips, existing);
        if (error.empty())
            error = writeOutputFile(platform::joinPath(o.clips, kRouteFile), existing, gpx);
    }
    if (!error.empty()) {
        say(err, "export: " + error);
        return kExportFailed;
    }
    std::string summary = "Exported " + counted(day.positions.size(), "position") + " and " +
                          counted(day.clips.size(), "clip") + " of \"" + recorder->displayName() +
                          "\" on " + formatDate(o.day) + ", " + bounded(o.range.from, o.range.to);
    if (!o.nmea.empty() && nmea.leftOut > 0)
        summary += "; " + counted(nmea.leftOut, "position") +
                   " left out of the NMEA log (not a well-formed sentence)";
    if (!leftOutClips.empty())
        summary += "; " + counted(leftOutClips.size(), "clip") + " left out";
    say(out, summary);
    return kExportDone;
}

} // namespace archive
