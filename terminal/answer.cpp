#include "terminal/answer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tarvo::terminal {

namespace {

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

}  // namespace

int answer(const CommandLine& commandLine)
{
    switch (commandLine.action) {
    case CommandLine::Action::Refuse:
        std::fputs(qPrintable(commandLine.message), stderr);
        return commandLine.exitStatus;
    case CommandLine::Action::PrintHelp:
    case CommandLine::Action::PrintVersion:
        std::fputs(qPrintable(commandLine.message), stdout);
        return kExitOk;
    case CommandLine::Action::RunFleet:
        return runFleet(commandLine.fleet);
    case CommandLine::Action::RunDemo:
        return runDemo();
    case CommandLine::Action::OpenWindow:
        break;  // the window's to answer, not the terminal's
    }
    return kExitUsage;
}

}  // namespace tarvo::terminal
