// The Tarvo Configuration Updater: one window, one button; or, for the
// options that answer on the terminal, no window at all.
#include "generated/version.h"
#include "platform/qt_platform.h"
#include "terminal/answer.h"
#include "terminal/command_line.h"
#include "translations/loader.h"
#include "window/main_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

namespace {

// The settings store's and the data folder's parent: ~/.config/tarvo/,
// ~/.local/share/tarvo/.
const char* const kOrganisationName = "tarvo";

// Names the application and speaks the operator's language: the desktop's
// (LANGUAGE, LC_ALL, LANG), English without a translation for it.
void prepare(QCoreApplication& app)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(tarvo::kProgramTitle));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(tarvo::kVersionMajor).arg(tarvo::kVersionMinor).arg(tarvo::kVersionRevision));
    tarvo::translations::install(app, QLocale());
}

}  // namespace

int main(int argc, char** argv)
{
    using tarvo::terminal::CommandLine;

    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    // Answered without a window, so without a display.
    if (tarvo::terminal::answersOnTerminal(given)) {
        QCoreApplication app(argc, argv);
        prepare(app);
        return tarvo::terminal::answer(tarvo::terminal::readCommandLine(QCoreApplication::arguments()));
    }

    QApplication app(argc, argv);
    prepare(app);
    const CommandLine commandLine = tarvo::terminal::readCommandLine(QCoreApplication::arguments());
    if (commandLine.action != CommandLine::Action::OpenWindow)
        return tarvo::terminal::answer(commandLine);
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
