// The Tarvo Configuration Updater: one window, one button.
#include "generated/version.h"
#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char* const kApplicationName = "Tarvo Configuration Updater";
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
            std::strcmp(a, "--demo") == 0)
            return true;
    }
    return false;
}

QString whereThingsAre()
{
    const QString config = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                               .filePath(QString::fromLatin1(kOrganisationName));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QStringLiteral(
               "\nWhere things are:\n"
               "  Settings (the controller's address):  %1/\n"
               "  Archives:  %2/\n"
               "    <controller address>/config.tgz   the controller's last upload (earlier ones in backups/)\n"
               "    history/<controller address>/     every verified backup, with a .json note each\n"
               "  Transcripts of every run:  %2/transcripts/\n"
               "  Log: double-click the status text; right-click to save it or pick an earlier backup.\n"
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
};

// Parses the command line; false, with the reason on stderr, for an option
// the tool does not know.
bool parse(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(QStringLiteral(
        "Saves a laser's configuration from its controller's SD card onto this PC before the card is "
        "replaced, and writes it back afterwards. Started without options, it opens its window."));
    parser.addOptions({options.help, options.version, options.demo});
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
    QCommandLineParser parser;
    const Options options;
    if (!parse(parser, options))
        return 2;
    if (parser.isSet(options.help)) {
        std::fputs(qPrintable(parser.helpText() + whereThingsAre()), stdout);
        return 0;
    }
    if (parser.isSet(options.version)) {
        std::printf("tarvo-config-updater %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
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
    {
        QCommandLineParser parser;
        const Options options;
        if (!parse(parser, options))
            return 2;
    }
    platform::QtPlatform platform;
    int rc = 0;
    {
        tarvo::window::MainWindow window(platform);
        window.updater().load();
        window.show();
        rc = app.exec();
        // The window is released here; process end follows.
        window.updater().startUninstallerIfPresent();
    }
    return rc;
}
