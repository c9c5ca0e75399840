// The TFTP server the desktop tool starts from its own folder as
// "<full path> -v" for each backup or restore of the controller's archive.

#include "serversettings.h"
#include "stopwatcher.h"

#include "tftp/server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>

#include <cstdio>

namespace {
void printLine(FILE* stream, const QString& line)
{
    const QString stamped = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "))
                            + line + QLatin1Char('\n');
    std::fputs(stamped.toLocal8Bit().constData(), stream);
    std::fflush(stream);  // the desktop tool reads us through a pipe
}
} // namespace

int main(int argc, char* argv[])
{
#ifndef Q_OS_WIN
    // The plain Unix event loop costs less per packet than the GLib one, and
    // a console program needs nothing of GLib's.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("OpenTFTPServerMT"));

    ServerSettings settings;
    QString error;
    if (!loadServerSettings(app.arguments(), &settings, &error)) {
        std::fputs(qPrintable(error + QLatin1Char('\n')), stderr);
        return 2;
    }

    StopWatcher stopWatcher;
    if (!stopWatcher.install(&error)) {
        printLine(stderr, QStringLiteral("cannot watch for stop requests: %1").arg(error));
        return 1;
    }

    tftp::Server server(settings.config);
    const bool verbose = settings.verbose;
    QObject::connect(&server, &tftp::Server::logLine, &app, [verbose](const QString& line) {
        if (verbose)
            printLine(stdout, line);
    });
    if (!server.start(&error)) {
        printLine(stderr, error);
        return 1;
    }
    const tftp::ServerConfig& c = settings.config;
    printLine(stdout, QStringLiteral("listening on %1 port %2, serving %3, names %4, size limit %5 bytes")
                          .arg(c.bindAddress.toString())
                          .arg(server.port())
                          .arg(c.root, c.allowedNames.join(QLatin1Char(',')))
                          .arg(c.maxWriteBytes));

    QObject::connect(&stopWatcher, &StopWatcher::stopRequested, &app, [&](const QString& reason) {
        if (verbose)
            printLine(stdout, QStringLiteral("stopping on %1, %2 transfers in flight")
                                  .arg(reason).arg(server.activeTransfers()));
        server.shutdown();
        app.quit();
    });
    const int code = app.exec();
    if (verbose)
        printLine(stdout, QStringLiteral("stopped"));
    return code;
}
