// controller-sim: a laser controller on the PC for practice and tests. It
// serves the controller's console over TCP, runs the shell commands the
// tool sends with real effects on a folder that stands for the SD card, and
// sends its archive to the PC's TFTP server over real UDP.

#include "controlwindow.h"
#include "quitonsignal.h"
#include "samplecards.h"
#include "stdincontrol.h"

#include "generated/version.h"
#include "platform/qt_platform.h"
#include "simulator/controllerengine.h"
#include "simulator/faultoptions.h"
#include "simulator/speedoptions.h"
#include "simulator/tcpshellserver.h"
#include "simulator/udptftptransport.h"
#include "translations/loader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

bool wantsHeadless(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--headless") == 0 || qstrcmp(argv[i], "-h") == 0 ||
            qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-v") == 0 || qstrcmp(argv[i], "--version") == 0)
            return true;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void say(const QString& line, FILE* to = stdout)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

bool copyTree(const QString& from, const QString& to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& fi : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(to).filePath(fi.fileName());
        if (fi.isDir() ? !copyTree(fi.filePath(), target) : !QFile::copy(fi.filePath(), target))
            return false;
    }
    return true;
}


}  // namespace

int main(int argc, char** argv)
{
#ifndef Q_OS_WIN
    // Started without standard streams, the first socket would become
    // "standard input" and be read as control commands.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
#endif
    const bool headless = wantsHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("controller-sim"));
    // The control window in the desktop's language, English without one.
    tarvo::translations::install(*app, QLocale(), QStringLiteral("controller-sim"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(tarvo::kVersionMajor).arg(tarvo::kVersionMinor).arg(tarvo::kVersionRevision));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated laser controller: its console on TCP, its shell commands acting on a folder that "
        "stands for the SD card, its tftp on real UDP.\n"
        "Control commands on standard input, one a line: power off, power on, card FOLDER, card blank, "
        "status, files, quit."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("bind"),
                      QStringLiteral("Address of the controller: its console listens and its tftp sends from "
                                     "there (default 127.0.0.1)."),
                      QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1")});
    parser.addOption({QStringLiteral("port"), QStringLiteral("Console port (default 1138; 0 picks a free one)."),
                      QStringLiteral("N"), QStringLiteral("1138")});
    parser.addOption({QStringLiteral("card"),
                      QStringLiteral("Folder that is the SD card; it is changed as the real card would be. "
                                     "Default: a temporary copy of sample card A, or a blank card."),
                      QStringLiteral("FOLDER")});
    parser.addOption({QStringLiteral("tftp-port"),
                      QStringLiteral("Port the controller's tftp uses when the command names none (default 69)."),
                      QStringLiteral("N"), QStringLiteral("69")});
    parser.addOption({QStringLiteral("hostname"), QStringLiteral("The controller's host name (default laser)."),
                      QStringLiteral("NAME"), QStringLiteral("laser")});
    parser.addOption({QStringLiteral("boot-time"),
                      QStringLiteral("Milliseconds from power on until the console answers (default 0)."),
                      QStringLiteral("MS"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("headless"), QStringLiteral("No control window; control on standard input only.")});
    parser.addOption({QStringLiteral("cols"),
                      QStringLiteral("Width of the console's terminal: the shell breaks the echo of a longer "
                                     "command line there (default 80)."),
                      QStringLiteral("N"), QStringLiteral("80")});
    parser.addOption({QStringLiteral("plain-console"),
                      QStringLiteral("A quiet console instead of busybox's line editor on a terminal: each line "
                                     "echoed whole when the shell reads it, CR LF one line end, no cursor queries "
                                     "(every third prompt coloured instead), no echo of input typed ahead.")});
    tarvo::simulator::addSpeedOptions(parser);
    tarvo::simulator::FaultOptions::addTo(parser);
    parser.process(*app);

    QString error;
    tarvo::simulator::FaultOptions faults;
    if (!tarvo::simulator::FaultOptions::read(parser, &faults, &error)) {
        say(QStringLiteral("controller-sim: ") + error, stderr);
        return 2;
    }
    tarvo::simulator::EngineOptions options;
    options.hostname = parser.value(QStringLiteral("hostname")).toLatin1();
    if (!tarvo::simulator::readSpeedOptions(parser, &options, &error)) {
        say(QStringLiteral("controller-sim: ") + error, stderr);
        return 2;
    }
    bool ok = false;
    const uint tftpPort = parser.value(QStringLiteral("tftp-port")).toUInt(&ok);
    if (!ok || tftpPort == 0 || tftpPort > 65535) {
        say(QStringLiteral("controller-sim: --tftp-port needs a port number"), stderr);
        return 2;
    }
    options.tftpPort = quint16(tftpPort);
    options.bootMs = parser.value(QStringLiteral("boot-time")).toInt(&ok);
    if (!ok || options.bootMs < 0) {
        say(QStringLiteral("controller-sim: --boot-time needs milliseconds"), stderr);
        return 2;
    }
    options.consoleColumns = parser.value(QStringLiteral("cols")).toInt(&ok);
    if (!ok || options.consoleColumns < 1 || options.consoleColumns > 10000) {
        say(QStringLiteral("controller-sim: --cols needs a whole number from 1 to 10000"), stderr);
        return 2;
    }
    options.plainConsole = parser.isSet(QStringLiteral("plain-console"));
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        say(QStringLiteral("controller-sim: --port needs a port number"), stderr);
        return 2;
    }
    const QHostAddress bind(parser.value(QStringLiteral("bind")));
    if (bind.isNull()) {
        say(QStringLiteral("controller-sim: --bind needs an IP address"), stderr);
        return 2;
    }

    QTemporaryDir defaultCard;
    QString cardFolder = parser.value(QStringLiteral("card"));
    if (cardFolder.isEmpty()) {
        const QString cards = tarvo::simulator::sampleCardsFolder(QCoreApplication::applicationDirPath());
        const QString sample = QDir(cards).filePath(QStringLiteral("A"));
        cardFolder = defaultCard.path();
        if (!cards.isEmpty() && QFileInfo(sample).isDir())
            copyTree(sample, cardFolder);
        QDir(cardFolder).mkpath(QStringLiteral("zel"));
        QDir(cardFolder).mkpath(QStringLiteral("media"));
    } else if (!QFileInfo(cardFolder).isDir()) {
        say(QStringLiteral("controller-sim: no such card folder: ") + cardFolder, stderr);
        return 2;
    }

    tarvo::platform::QtPlatform platform;
    // The controller's tftp sends from its own address, so a PC-side server
    // tells one simulated controller from another.
    tarvo::simulator::UdpTftpTransport tftp(bind.protocol() == QAbstractSocket::IPv4Protocol ? bind : QHostAddress());
    tarvo::simulator::ControllerEngine engine(platform, tftp, cardFolder, options, faults);
    tarvo::simulator::TcpShellServer server(engine);
    if (!server.listen(bind, quint16(port))) {
        say(QStringLiteral("controller-sim: cannot listen on %1:%2: %3")
                .arg(bind.toString()).arg(port).arg(server.errorString()),
            stderr);
        return 1;
    }
    tarvo::simulator::quitOnTerminationSignals();
    tarvo::simulator::StdinControl control(engine);
    QObject::connect(&control, &tarvo::simulator::StdinControl::quitRequested, app.get(), &QCoreApplication::quit,
                     Qt::QueuedConnection);

    std::unique_ptr<tarvo::simulator::ControlWindow> window;
    if (!headless) {
        window = std::make_unique<tarvo::simulator::ControlWindow>(engine, server.port());
        window->show();
    }
    say(QStringLiteral("controller-sim: listening on %1:%2, card %3")
            .arg(bind.toString()).arg(server.port()).arg(engine.card().folder()));
    return app->exec();
}
