// TessaroArchive: the archive browser, and the archive's exports for scripts.
//
// TessaroArchive [ARCHIVE_FOLDER...] [--day D --key K [--at T]]
//     browses the archive beside the program, or the folders given (one per
//     gateway, shown together), and never changes them; opens at the day and
//     recorder given, with the clip nearest the time T (hh:mm or hh:mm:ss)
//     playing
// TessaroArchive export ...         exports a recorder's day (--help there)
#include "ArchiveComplaints.h"
#include "ArchiveSet.h"
#include "ArchiveWindow.h"
#include "DataFolder.h"
#include "DisplayCheck.h"
#include "ExportCommand.h"
#include "HarmlessQtMessages.h"
#include "MovieEngineSession.h"
#include "Paths.h"
#include "StopSignals.h"
#include "TerminalText.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char* argv[])
{
    const qtcommon::HarmlessQtMessages quietQt;
    // The export needs no window and no display.
    if (argc > 1 && std::string_view(argv[1]) == "export")
        return archive::runExportCommand({argv + 2, argv + argc}, std::cout, std::cerr);
    if (qtcommon::displayMissing(argc, argv)) {
        std::fputs("TessaroArchive: no display to show the window on (DISPLAY is not set).\n"
                   "Start it in a desktop session, or under a virtual X server (xvfb-run), or\n"
                   "with QT_QPA_PLATFORM=offscreen to run without a visible window.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TessaroArchive"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Browses the station's archive: days, recorders, routes and clips.\n"
                       "\"TessaroArchive export --help\" tells the export for scripts."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("folder"),
        QStringLiteral("The archive's folder; by default the station's data folder, found as "
                       "the station finds it: beside this program when that folder can be "
                       "written, else $XDG_DATA_HOME/tessaro (~/.local/share/tessaro). Several "
                       "(one per gateway) are shown together."),
        QStringLiteral("[ARCHIVE_FOLDER...]"));
    const QCommandLineOption dayOption(QStringLiteral("day"),
                                       QStringLiteral("Open at this day (2026-12-08)."),
                                       QStringLiteral("date"));
    const QCommandLineOption keyOption(
        QStringLiteral("key"), QStringLiteral("Open at this recorder of the day (its key)."),
        QStringLiteral("key"));
    const QCommandLineOption atOption(
        QStringLiteral("at"),
        QStringLiteral("Play the recorder's clip nearest this time (14:05 or 14:05:30)."),
        QStringLiteral("time"));
    parser.addOption(dayOption);
    parser.addOption(keyOption);
    parser.addOption(atOption);
    parser.process(app);
    std::optional<int> at;
    if (parser.isSet(atOption)) {
        at = archive::parseTimeOfDay(parser.value(atOption).toStdString());
        if (!at) {
            std::fprintf(stderr, "TessaroArchive: --at needs hh:mm or hh:mm:ss, not \"%s\"\n",
                         qPrintable(parser.value(atOption)));
            return 2;
        }
    }
    if (parser.isSet(dayOption) != parser.isSet(keyOption) || (at && !parser.isSet(keyOption))) {
        std::fputs("TessaroArchive: --day and --key go together (and --at with them)\n", stderr);
        return 2;
    }
    const QStringList folders = parser.positionalArguments();
    std::string folder = platform::dataFolder(platform::DataOwner::user);
    if (!folders.isEmpty()) {
        if (!QFileInfo(folders.front()).isDir()) {
            std::fprintf(stderr, "TessaroArchive: no such folder: %s\n",
                         qPrintable(folders.front()));
            return 2;
        }
        folder = folders.front().toStdString();
    }
    // Further folders, one per gateway, are read together with the first;
    // `folder` names them all from here on.
    std::vector<std::string> archives = {folder};
    for (qsizetype i = 1; i < folders.size(); ++i) {
        if (!QFileInfo(folders[i]).isDir()) {
            std::fprintf(stderr, "TessaroArchive: no such folder: %s\n", qPrintable(folders[i]));
            return 2;
        }
        archives.push_back(folders[i].toStdString());
        folder += ", " + archives.back();
    }
    // A day or recorder that is not there is said, naming what is, and the
    // window opens at the newest day as without them.
    std::optional<std::string> notThere;
    if (parser.isSet(dayOption)) {
        const archive::ArchiveSet reader(archives);
        const std::optional<archive::Date> day =
            archive::parseDate(parser.value(dayOption).toStdString());
        if (!day) {
            std::fprintf(stderr, "TessaroArchive: --day needs yyyy-mm-dd, not \"%s\"\n",
                         qPrintable(parser.value(dayOption)));
            return 2;
        }
        const std::vector<archive::Recorder> recorders = reader.recorders(*day);
        if (recorders.empty())
            notThere = archive::noSuchDayText(reader, *day);
        else
            notThere =
                archive::noSuchRecorderText(*day, parser.value(keyOption).toStdString(), recorders);
    }

    // The movie engine lives longer than the window and its movie view.
    movieview::MovieEngineSession movieEngine;
    archive::ArchiveWindow window(archives);
    if (parser.isSet(dayOption)) {
        archive::ArchiveBrowser& browser = window.browser();
        if (!browser.chooseByName(parser.value(dayOption), parser.value(keyOption)))
            std::fprintf(stderr, "TessaroArchive: %s\n",
                         archive::terminalText(notThere.value_or(std::string())).c_str());
        else if (at)
            browser.pickNearest(archive::Lane::Clips, *at);
    }
    const qtcommon::StopSignals stopSignals([&window] {
        window.close();
        QApplication::quit();
    });
    window.show();
    return QApplication::exec();
}
