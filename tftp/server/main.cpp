// The TFTP server the desktop tool starts from its own folder as
// "<full path> -v" for each backup or restore of the controller's archive.

#include "parentwatcher.h"
#include "serversettings.h"
#include "stopwatcher.h"

#include "tftp/server.h"
#include "tftp/status_lines.h"

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

// The first line on stdout, without a time stamp: the desktop tool waits for it.
void printStatus(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

QString failedLine(tarvo::tftp::Server::StartFailure failure, const tarvo::tftp::ServerConfig& c, const QString& error)
{
    namespace status = tarvo::tftp::status;
    using F = tarvo::tftp::Server::StartFailure;
    switch (failure) {
    case F::PortInUse:
        return status::failedLine(status::kPortInUse, QString::number(c.port));
    case F::Permission:
        return status::failedLine(status::kPermission, QString::number(c.port));
    case F::FolderNotWritable:
        return status::failedLine(status::kFolderNotWritable, c.root);
    case F::Other:
        break;
    }
    return status::failedLine(status::kOther, error.section(QLatin1Char('\n'), 0, 0));
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
        printStatus(tarvo::tftp::status::failedLine(tarvo::tftp::status::kOther, error.section(QLatin1Char('\n'), 0, 0)));
        std::fputs(qPrintable(error + QLatin1Char('\n')), stderr);
        return 2;
    }
    if (!settings.exitText.isEmpty()) {
        std::fputs(settings.exitText.toLocal8Bit().constData(), stdout);
        return 0;
    }

    // The parent's PID as early as we can take it; its checks run once the
    // event loop does.
    ParentWatcher parentWatcher;
    if (settings.exitWithParent)
        parentWatcher.install();

    StopWatcher stopWatcher;
    if (!stopWatcher.install(&error)) {
        printStatus(tarvo::tftp::status::failedLine(tarvo::tftp::status::kOther,
                                                 QStringLiteral("cannot watch for stop requests: %1").arg(error)));
        printLine(stderr, QStringLiteral("cannot watch for stop requests: %1").arg(error));
        return 1;
    }

    // Once a second with -v, a PROGRESS line per running transfer.
    constexpr int ProgressIntervalMs = 1000;
    if (settings.verbose)
        settings.config.progressIntervalMs = ProgressIntervalMs;
    tarvo::tftp::Server server(settings.config);
    const bool verbose = settings.verbose;
    QObject::connect(&server, &tarvo::tftp::Server::logLine, &app, [verbose](const QString& line) {
        if (verbose)
            printLine(stdout, line);
    });
    const tarvo::tftp::ServerConfig& c = settings.config;
    tarvo::tftp::Server::StartFailure failure = tarvo::tftp::Server::StartFailure::Other;
    if (!server.start(&error, &failure)) {
        printStatus(failedLine(failure, c, error));
        printLine(stderr, error);
        return 1;
    }
    printStatus(tarvo::tftp::status::readyLine(server.port(), c.root));
    QStringList peers;
    for (const QHostAddress& a : c.onlyFrom)
        peers.append(a.toString());
    printLine(stdout, QStringLiteral("listening on %1 port %2, serving %3, names %4, size limit %5 bytes, "
                                     "peers %6, stored limit %7")
                          .arg(c.bindAddress.toString())
                          .arg(server.port())
                          .arg(c.root, c.allowedNames.join(QLatin1Char(',')))
                          .arg(c.maxWriteBytes)
                          .arg(peers.isEmpty() ? QStringLiteral("any") : peers.join(QLatin1Char(',')),
                               c.maxStoredBytes < 0 ? QStringLiteral("none")
                                                    : QStringLiteral("%1 bytes").arg(c.maxStoredBytes)));

    QObject::connect(&stopWatcher, &StopWatcher::stopRequested, &app, [&](const QString& reason) {
        if (verbose)
            printLine(stdout, QStringLiteral("stopping on %1, %2 transfers in flight")
                                  .arg(reason).arg(server.activeTransfers()));
        server.shutdown();
        app.quit();
    });
    if (settings.exitWithParent) {
        QObject::connect(&parentWatcher, &ParentWatcher::parentEnded, &app, [&](const QString& how) {
            printLine(stdout, QStringLiteral("parent ended; stopping (%1), %2 transfers in flight")
                                  .arg(how).arg(server.activeTransfers()));
            server.shutdown();
            app.quit();
        });
    }
    const int code = app.exec();
    if (verbose)
        printLine(stdout, QStringLiteral("stopped"));
    return code;
}
