// Tessaro: the monitoring station's program.
//
// Tessaro [--port N]   N: the TCP port the recorders call, 9600 unless given
// (a second station on one computer, or a test, takes another).
// Tessaro --fleet mqtt://HOST:PORT   the station watches a fleet through its
// broker instead (or [Fleet] BROKER= in tessaro.ini; the command line wins).
// Tessaro --data DIR   keeps the archive, settings and log in DIR instead of
// the data folder that platform::dataFolder() chooses.
#include "BrokerAddress.h"
#include "DataFolder.h"
#include "DisplayCheck.h"
#include "HarmlessQtMessages.h"
#include "MovieEngineSession.h"
#include "Paths.h"
#include "ProcessLimits.h"
#include "SingleInstanceLock.h"
#include "StationSettings.h"
#include "StopSignals.h"
#include "pmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

int main(int argc, char* argv[])
{
    const qtcommon::HarmlessQtMessages quietQt;
    if (qtcommon::displayMissing(argc, argv)) {
        std::fputs(
            "Tessaro: no display to show the station's window on (DISPLAY is not set).\n"
            "Start it in a desktop session, or under a virtual X server (scripts/run does so\n"
            "with Xvfb), or with QT_QPA_PLATFORM=offscreen to run without a visible window.\n",
            stderr);
        return 1;
    }
    // A file-size limit makes the archive's writes fail, which the station
    // tells and waits out, instead of ending it.
    platform::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(monitor::kStationTitle));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Monitoring station for vehicle video recorders"));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("TCP port the recorders call (default 9600)."),
        QStringLiteral("port"), QString::number(monitor::kStationPort));
    parser.addOption(portOption);
    const QCommandLineOption fleetOption(
        QStringLiteral("fleet"),
        QStringLiteral("Watch a fleet through its MQTT broker instead of receiving recorders."),
        QStringLiteral("mqtt://host:port"));
    parser.addOption(fleetOption);
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("The data folder: archive, journal, log, tessaro.ini and quvex.ini. By "
                       "default the program's folder when it can be written, else "
                       "$XDG_DATA_HOME/tessaro (~/.local/share/tessaro), made on first start."),
        QStringLiteral("dir"));
    parser.addOption(dataOption);
    parser.process(app);
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 1 || port > 65535) {
        std::fprintf(stderr, "Tessaro: --port needs a number from 1 to 65535, not \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    const std::string dataFolder =
        platform::dataFolder(platform::DataOwner::user, parser.value(dataOption).toStdString());
    if (dataFolder.empty()) {
        std::fputs("Tessaro: no folder for the archive: this program's folder cannot be written "
                   "and there is no home folder; give one with --data DIR\n",
                   stderr);
        return 2;
    }
    // The receiver library keeps its settings (quvex.ini) and log there too;
    // set before the library starts, and before the station's own threads.
    ::setenv(platform::kHostDataVariable, dataFolder.c_str(), 1);

    // On a fleet: the command line's broker, or the settings file's.
    const monitor::StationSettings settings =
        monitor::readStationSettings(platform::joinPath(dataFolder, monitor::kSettingsFileName));
    std::string broker = parser.value(fleetOption).toStdString();
    if (broker.empty())
        broker = settings.fleetBroker;
    if (!broker.empty()) {
        const auto address = fleet::parseBrokerAddress(broker);
        if (const auto* error = std::get_if<std::string>(&address)) {
            std::fprintf(stderr, "Tessaro: the fleet's broker \"%s\" cannot be used: %s\n",
                         broker.c_str(), error->c_str());
            return 2;
        }
    }

    // Where the data went is told when it is not beside the program (an
    // installed copy, or --data); a copy run where it lies stays silent.
    const bool dataElsewhere = platform::dataFolderIsElsewhere(dataFolder);
    if (dataElsewhere)
        std::fprintf(stderr, "Tessaro: archive and settings in %s\n", dataFolder.c_str());

    // Ctrl-C and SIGTERM close the window as its close button does, so the
    // station stops in order while its display is still there; one that comes
    // during start-up is handled once the event loop runs.
    monitor::TForm1* window = nullptr;
    const qtcommon::StopSignals stopSignals([&window] {
        if (window)
            window->close();
        QApplication::quit();
    });

    // The movie engine lives longer than the window and its movie view.
    movieview::MovieEngineSession movieEngine;
    monitor::WindowOptions options;
    options.port = port;
    options.fleetBroker = broker;
    options.programFolder = dataFolder;
    options.showDataFolder = dataElsewhere;
    if (!settings.fleetPrefix.empty())
        options.fleet.prefix = settings.fleetPrefix;
    if (settings.fleetMaxClipBytes != 0)
        options.fleet.maxClipBytes = settings.fleetMaxClipBytes;
    monitor::TForm1 form(options);
    if (form.isSecondInstance()) {
        // Not an error, but not silent: whoever started it learns why nothing opened.
        const long pid = platform::SingleInstanceLock::holder(options.singleInstanceName);
        if (pid > 0)
            std::fprintf(stderr, "a station is already running for this user: pid %ld\n", pid);
        else
            std::fputs("a station is already running for this user\n", stderr);
        return 0;
    }
    window = &form;
    form.show();
    return QApplication::exec();
}
