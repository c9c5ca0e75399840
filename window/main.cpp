// The Tarvo Configuration Updater: one window, one button.
#include "generated/version.h"
#include "platform/qt_platform.h"
#include "terminal/fleet.h"
#include "translations/loader.h"
#include "window/main_window.h"
#include "workflow/workflow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char* const kApplicationName = tarvo::kProgramTitle;
// The settings store's and the data folder's parent: ~/.config/tarvo/,
// ~/.local/share/tarvo/.
const char* const kOrganisationName = "tarvo";

void nameApplication()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(tarvo::kVersionMajor).arg(tarvo::kVersionMinor).arg(tarvo::kVersionRevision));
}

// The options that answer on the terminal and open no window, so that they
// work without a display.
bool wantsTerminalOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0 || std::strcmp(a, "-?") == 0 ||
            std::strcmp(a, "--help-all") == 0 || std::strcmp(a, "-v") == 0 || std::strcmp(a, "--version") == 0 ||
            std::strcmp(a, "--demo") == 0 || std::strcmp(a, "--backup") == 0 || std::strcmp(a, "--restore") == 0)
            return true;
    }
    return false;
}

QString whereThingsAre()
{
#ifdef Q_OS_WIN
    // The registry, and the local application data; in Windows' own words.
    const QString config = QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\")
                           + QString::fromLatin1(kApplicationName);
    const QString data
        = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
#else
    const QString config = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                               .filePath(QString::fromLatin1(kOrganisationName));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
    return QStringLiteral(
               "\nWhere things are:\n"
               "  Settings (the controller's address):  %1/\n"
               "  Archives:  %2/\n"
               "    <controller address>/config.tgz   the controller's last upload (earlier ones in backups/)\n"
               "    history/mac-<hardware address>/   every verified backup of a laser, with a .json note each\n"
               "    history/<controller address>/     those of a laser whose hardware cannot be read (a\n"
               "                                      simulator on this PC, a laser behind a router)\n"
               "  Transcripts of every run:  %2/transcripts/\n"
               "  Log: double-click the status text (or Ctrl+L); right-click to save it or pick an\n"
               "  earlier backup.\n"
               "  The TFTP server OpenTFTPServerMT is looked for beside this program, then in\n"
               "  ../lib/tarvo-config-updater/ from this program's folder.\n")
        .arg(config, data);
}

// The demo script of this installation: beside the program (portable
// folder, build tree) or in the installed program library.
QString demoScript()
{
    const QDir own(QCoreApplication::applicationDirPath());
    for (const QString& c : {own.filePath(QStringLiteral("demo.sh")),
                             own.filePath(QStringLiteral("../lib/tarvo-config-updater/demo.sh"))}) {
        const QFileInfo fi(c);
        if (fi.isFile() && fi.isExecutable())
            return QDir::cleanPath(fi.absoluteFilePath());
    }
    return {};
}

int runDemo()
{
    const QString script = demoScript();
    if (script.isEmpty()) {
        std::fprintf(stderr, "tarvo-config-updater: the demo (demo.sh) is not installed beside this program\n");
        return 1;
    }
    const QByteArray path = QFile::encodeName(script);
    const QByteArray bin = QFile::encodeName(QCoreApplication::applicationDirPath());
    std::fflush(stdout);
    ::execl(path.constData(), path.constData(), bin.constData(), static_cast<char*>(nullptr));
    std::fprintf(stderr, "tarvo-config-updater: cannot start %s: %s\n", path.constData(), std::strerror(errno));
    return 1;
}

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Print the version and exit.")};
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Practise on a simulated controller on this PC (the settings "
                                           "and archives of the demo are its own).")};
    QCommandLineOption backup{QStringLiteral("backup"),
                              QStringLiteral("Without a window: back up the controllers at the ADDRESSes given "
                                             "after the options, several at once.")};
    QCommandLineOption restore{QStringLiteral("restore"),
                               QStringLiteral("Without a window: restore the controller at the one ADDRESS given "
                                              "after the options, from the newest verified backup of its hardware.")};
    QCommandLineOption parallel{QStringLiteral("parallel"),
                                QStringLiteral("With --backup: at most N controllers at once (default 8)."),
                                QStringLiteral("N"), QStringLiteral("8")};
    QCommandLineOption archiveDir{QStringLiteral("archive-dir"),
                                  QStringLiteral("The archive folder to use instead of the window's."),
                                  QStringLiteral("DIR")};
    QCommandLineOption archive{QStringLiteral("archive"),
                               QStringLiteral("With --restore: restore this archive file instead."),
                               QStringLiteral("FILE")};
    QCommandLineOption allowOtherLaser{QStringLiteral("allow-other-laser"),
                                       QStringLiteral("With --restore and --archive: write that backup even onto a "
                                                      "laser whose hardware is not, or cannot be told to be, the "
                                                      "backup's.")};
};

const char* const kHeadlessHelp =
    "\nWithout a window (no display needed):\n"
    "  tarvo-config-updater --backup 10.0.0.11 10.0.0.12 [--parallel 8] [--archive-dir DIR]\n"
    "  tarvo-config-updater --restore 10.0.0.11 [--archive FILE] [--archive-dir DIR]\n"
    "  The same steps, checks and history as the window. Each step is a line on standard\n"
    "  error ([ADDRESS] NN% status, [ADDRESS] error: message, or [ADDRESS] warning: a record\n"
    "  that could not be kept); at the end standard output holds one tab-separated line per\n"
    "  controller: controller, result, archive, bytes, files, seconds, notes (the records\n"
    "  not kept, or -), hardware (the controller's hardware address, local/ADDRESS for a\n"
    "  simulator on this PC, or - when it cannot be read). Backups are kept per laser by\n"
    "  its hardware address, so a laser found again on a new address is still itself.\n"
    "  A restore sends the newest verified backup of the laser's hardware, or the checked\n"
    "  FILE. It writes only onto the laser the backup was made of: when the hardware\n"
    "  differs, or cannot be told (a laser behind a router, a FILE from elsewhere, a\n"
    "  backup of an earlier version), nothing is sent and the status is 7, unless\n"
    "  --allow-other-laser is given with the backup named by --archive FILE (the tool never\n"
    "  chooses another laser's backup; the notes say whose backup went onto which laser).\n"
    "  Transcripts go to DIR/transcripts when DIR is given. The one TFTP server of the\n"
    "  run takes requests from the controllers given only (names are looked up first).\n"
    "  Results: ok, pc-not-ready, archive-unusable, no-connection,\n"
    "  login-failed, controller-failed, backup-unverified, other-laser.\n"
    "  Exit status: 0 every controller succeeded; 2 bad usage; 3 the PC side (the TFTP\n"
    "  server could not start, the archive is missing or unusable); 4 no connection or\n"
    "  the login failed; 5 a step on the controller failed; 6 a backup could not be\n"
    "  verified; 7 a restore refused: not (or not known to be) the laser of the backup.\n"
    "  With several failures, the status of the first one in the order given.\n"
    "  An ADDRESS given twice is refused (status 2), as are --archive or\n"
    "  --allow-other-laser with --backup, and --parallel with --restore.\n";

// Parses the command line; false, with the reason on stderr, for an option
// the tool does not know.
bool parse(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(QStringLiteral(
        "Saves a laser's configuration from its controller's SD card onto this PC before the card is "
        "replaced, and writes it back afterwards. Started without options, it opens its window."));
    parser.addOptions({options.help, options.version, options.demo, options.backup, options.restore,
                       options.parallel, options.archiveDir, options.archive, options.allowOtherLaser});
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("A controller, with --backup or --restore."),
                                 QStringLiteral("[ADDRESS...]"));
    const bool headless = parser.parse(QCoreApplication::arguments())
                          && (parser.isSet(options.backup) || parser.isSet(options.restore));
    if (headless) {
        const int addresses = int(parser.positionalArguments().size());
        bool numeric = false;
        const int parallel = parser.value(options.parallel).toInt(&numeric);
        QString wrong;
        if (parser.isSet(options.backup) && parser.isSet(options.restore))
            wrong = QStringLiteral("--backup and --restore exclude each other.");
        else if (addresses == 0)
            wrong = QStringLiteral("no controller ADDRESS given.");
        else if (parser.isSet(options.restore) && addresses != 1)
            wrong = QStringLiteral("--restore takes exactly one ADDRESS.");
        else if (!numeric || parallel < 1)
            wrong = QStringLiteral("--parallel takes a number of 1 or more.");
        else if (parser.isSet(options.backup) && parser.isSet(options.archive))
            wrong = QStringLiteral("--archive goes with --restore only.");
        else if (parser.isSet(options.backup) && parser.isSet(options.allowOtherLaser))
            wrong = QStringLiteral("--allow-other-laser goes with --restore only.");
        else if (parser.isSet(options.restore) && parser.isSet(options.parallel))
            wrong = QStringLiteral("--parallel goes with --backup only.");
        for (const QString& a : parser.positionalArguments())
            if (wrong.isEmpty() && !tarvo::workflow::isControllerAddress(a))
                wrong = QStringLiteral("'%1' is neither an IPv4 address nor a host name.").arg(a);
        if (wrong.isEmpty())
            wrong = tarvo::terminal::sameControllerTwice(parser.positionalArguments(),
                                                         [](const QString& a) { return tarvo::terminal::lookUpIPv4(a); });
        if (wrong.isEmpty())
            return true;
        std::fprintf(stderr, "tarvo-config-updater: %s\n", qPrintable(wrong));
        return false;
    }
    if (parser.parse(QCoreApplication::arguments()) && parser.positionalArguments().isEmpty())
        return true;
    const QString reason = parser.errorText().isEmpty()
                               ? QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first())
                               : parser.errorText();
    std::fprintf(stderr, "tarvo-config-updater: %s\n", qPrintable(reason));
    std::fputs(qPrintable(parser.helpText()), stderr);
    return false;
}

// --help, --version and --demo, answered without a window.
int answerOnTerminal(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    // The runs' reports in the operator's language, as in the window.
    tarvo::translations::install(app, QLocale());
    QCommandLineParser parser;
    const Options options;
    if (!parse(parser, options))
        return 2;
    if (parser.isSet(options.help)) {
        std::fputs(qPrintable(parser.helpText() + QLatin1String(kHeadlessHelp) + whereThingsAre()), stdout);
        return 0;
    }
    if (parser.isSet(options.version)) {
        std::printf("tarvo-config-updater %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.isSet(options.backup) || parser.isSet(options.restore)) {
        tarvo::terminal::FleetOptions fleet;
        fleet.mode = parser.isSet(options.backup) ? tarvo::terminal::FleetOptions::Mode::Backup
                                                  : tarvo::terminal::FleetOptions::Mode::Restore;
        fleet.addresses = parser.positionalArguments();
        fleet.parallel = parser.value(options.parallel).toInt();
        fleet.archiveFolder = parser.value(options.archiveDir);
        fleet.archive = parser.value(options.archive);
        fleet.allowOtherLaser = parser.isSet(options.allowOtherLaser);
        return tarvo::terminal::runFleet(fleet);
    }
    return runDemo();
}

}  // namespace

int main(int argc, char** argv)
{
    if (wantsTerminalOnly(argc, argv))
        return answerOnTerminal(argc, argv);

    QApplication app(argc, argv);
    nameApplication();
    // The desktop's language (LANGUAGE, LC_ALL, LANG); English without a
    // translation for it.
    tarvo::translations::install(app, QLocale());
    {
        QCommandLineParser parser;
        const Options options;
        if (!parse(parser, options))
            return 2;
    }
    tarvo::platform::QtPlatform platform;
    int rc = 0;
    {
        tarvo::window::MainWindow window(platform);
        window.load();
        window.show();
        rc = app.exec();
        // The window is released here; process end follows.
        window.updater().startUninstallerIfPresent();
    }
    return rc;
}
