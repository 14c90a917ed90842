// Tessaro: the monitoring station's program.
//
// Tessaro [--port N]   N: the TCP port the recorders call, 9600 unless given
// (a second station on one computer, or a test, takes another).
#include "MovieEngineSession.h"
#include "ProcessLimits.h"
#include "pmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char* argv[])
{
    // A file-size limit makes the archive's writes fail, which the station
    // tells and waits out, instead of ending it.
    platform::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(monitor::kStationTitle));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Monitoring station for vehicle video recorders"));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("TCP port the recorders call (default 9600)."),
        QStringLiteral("port"), QString::number(monitor::kStationPort));
    parser.addOption(portOption);
    parser.process(app);
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 1 || port > 65535) {
        std::fprintf(stderr, "Tessaro: --port needs a number from 1 to 65535, not \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    // The movie engine lives longer than the window and its movie view.
    movieview::MovieEngineSession movieEngine;
    monitor::StationOptions options;
    options.port = port;
    monitor::TForm1 form(options);
    if (form.isSecondInstance())
        return 0;
    form.show();
    return QApplication::exec();
}
