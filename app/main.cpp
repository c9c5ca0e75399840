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

    {
        // The command line is read before there is a window: everything but
        // the window, a refusal included, is answered on the terminal and
        // needs no display.
        QCoreApplication app(argc, argv);
        prepare(app);
        const CommandLine commandLine = tarvo::terminal::readCommandLine(QCoreApplication::arguments());
        if (commandLine.action != CommandLine::Action::OpenWindow)
            return tarvo::terminal::answer(commandLine);
    }

    QApplication app(argc, argv);
    prepare(app);
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
