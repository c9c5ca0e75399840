#include "terminal/command_line.h"

#include "generated/version.h"
#include "workflow/workflow.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace tarvo::terminal {

namespace {

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

QString whereThingsAre()
{
#ifdef Q_OS_WIN
    // The registry, and the local application data; in Windows' own words.
    const QString config = QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\")
                           + QString::fromLatin1(kProgramTitle);
    const QString data
        = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
#else
    const QString config = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                               .filePath(QCoreApplication::organizationName());
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

CommandLine refused(const QString& reason)
{
    CommandLine refusal;
    refusal.action = CommandLine::Action::Refuse;
    refusal.message = QStringLiteral("tarvo-config-updater: %1\n").arg(reason);
    refusal.exitStatus = kExitUsage;
    return refusal;
}

// What is wrong with a backup's or a restore's options; empty when nothing.
QString headlessMistake(const QCommandLineParser& parser, const Options& options,
                        const std::function<QString(const QString&)>& resolve)
{
    const QStringList addresses = parser.positionalArguments();
    bool numeric = false;
    const int parallel = parser.value(options.parallel).toInt(&numeric);
    if (parser.isSet(options.backup) && parser.isSet(options.restore))
        return QStringLiteral("--backup and --restore exclude each other.");
    if (addresses.isEmpty())
        return QStringLiteral("no controller ADDRESS given.");
    if (parser.isSet(options.restore) && addresses.size() != 1)
        return QStringLiteral("--restore takes exactly one ADDRESS.");
    if (!numeric || parallel < 1)
        return QStringLiteral("--parallel takes a number of 1 or more.");
    if (parser.isSet(options.backup) && parser.isSet(options.archive))
        return QStringLiteral("--archive goes with --restore only.");
    if (parser.isSet(options.backup) && parser.isSet(options.allowOtherLaser))
        return QStringLiteral("--allow-other-laser goes with --restore only.");
    if (parser.isSet(options.restore) && parser.isSet(options.parallel))
        return QStringLiteral("--parallel goes with --backup only.");
    for (const QString& a : addresses)
        if (!workflow::isControllerAddress(a))
            return QStringLiteral("'%1' is neither an IPv4 address nor a host name.").arg(a);
    return sameControllerTwice(addresses, resolve);
}

}  // namespace

CommandLine readCommandLine(const QStringList& arguments, const std::function<QString(const QString&)>& resolve)
{
    const Options options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Saves a laser's configuration from its controller's SD card onto this PC before the card is "
        "replaced, and writes it back afterwards. Started without options, it opens its window."));
    parser.addOptions({options.help, options.version, options.demo, options.backup, options.restore,
                       options.parallel, options.archiveDir, options.archive, options.allowOtherLaser});
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("A controller, with --backup or --restore."),
                                 QStringLiteral("[ADDRESS...]"));
    const bool parsed = parser.parse(arguments);
    const bool headless = parsed && (parser.isSet(options.backup) || parser.isSet(options.restore));
    if (headless) {
        const QString mistake = headlessMistake(parser, options, resolve);
        if (!mistake.isEmpty())
            return refused(mistake);
    } else if (!parsed || !parser.positionalArguments().isEmpty()) {
        // An option the tool does not know, or an address without --backup
        // or --restore: the reason and the usage.
        CommandLine refusal = refused(
            parser.errorText().isEmpty()
                ? QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first())
                : parser.errorText());
        refusal.message += parser.helpText();
        return refusal;
    }

    CommandLine asked;
    // Without an option that answers on the terminal, the rest (an archive
    // folder, say) is the window's to ignore.
    if (!parser.isSet(options.help) && !parser.isSet(options.version) && !parser.isSet(options.demo) && !headless)
        return asked;
    if (parser.isSet(options.help)) {
        asked.action = CommandLine::Action::PrintHelp;
        asked.message = parser.helpText() + QLatin1String(kHeadlessHelp) + whereThingsAre();
    } else if (parser.isSet(options.version)) {
        asked.action = CommandLine::Action::PrintVersion;
        asked.message = QStringLiteral("tarvo-config-updater %1\n").arg(QCoreApplication::applicationVersion());
    } else if (headless) {
        asked.action = CommandLine::Action::RunFleet;
        asked.fleet.mode = parser.isSet(options.backup) ? FleetOptions::Mode::Backup : FleetOptions::Mode::Restore;
        asked.fleet.addresses = parser.positionalArguments();
        asked.fleet.parallel = parser.value(options.parallel).toInt();
        asked.fleet.archiveFolder = parser.value(options.archiveDir);
        asked.fleet.archive = parser.value(options.archive);
        asked.fleet.allowOtherLaser = parser.isSet(options.allowOtherLaser);
    } else {
        asked.action = CommandLine::Action::RunDemo;
    }
    return asked;
}

CommandLine readCommandLine(const QStringList& arguments)
{
    return readCommandLine(arguments, [](const QString& name) { return lookUpIPv4(name); });
}

}  // namespace tarvo::terminal
