#include "platform/qt_process_launcher.h"

#include "platform/delayed_start.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace tarvo::platform {

namespace {
constexpr int kProcessCloseGraceMs = 2000;
}  // namespace

QtProcessLauncher::~QtProcessLauncher()
{
    while (!processes_.empty())
        closeProcess(processes_.begin()->first);
}

std::int64_t QtProcessLauncher::startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                                      std::function<void(const QString& line)> onLine,
                                      std::function<void(int exitCode)> onFinished)
{
    auto* p = new QProcess;
    p->setProgram(program);
    p->setArguments(arguments);
    if (onLine) {
        p->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(p, &QProcess::readyReadStandardOutput, p, [p, onLine] {
            while (p->canReadLine())
                onLine(QString::fromLocal8Bit(p->readLine()).trimmed());
        });
    } else {
        // The program's own output goes where the tool's goes.
        p->setProcessChannelMode(QProcess::ForwardedChannels);
    }
    if (onFinished) {
        QObject::connect(p, &QProcess::finished, p, [p, onLine, onFinished](int code, QProcess::ExitStatus) {
            if (onLine && p->bytesAvailable() > 0)
                onLine(QString::fromLocal8Bit(p->readAll()).trimmed());
            onFinished(code);
        });
        QObject::connect(p, &QProcess::errorOccurred, p, [onFinished](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                onFinished(-1);
        });
    }
#ifdef Q_OS_WIN
    p->setCreateProcessArgumentsModifier([window](QProcess::CreateProcessArguments* a) {
        if (window == ProcessWindow::Minimized) {
            a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
            a->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
        }
    });
#else
    Q_UNUSED(window);
#endif
#ifdef Q_OS_LINUX
    // Even when the tool is killed, the program it started goes with it.
    p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    p->start();
    const auto handle = nextHandle_++;
    processes_.emplace(handle, p);
    return handle;
}

void QtProcessLauncher::startDetachedDelayed(const QString& program, int delayMs)
{
#ifdef Q_OS_WIN
    // The command interpreter pauses (pinging the loopback address), then
    // starts the program.
    QProcess p;
    p.setProgram(QLatin1String(kDelayedStartInterpreter));
    p.setNativeArguments(delayedStartArguments(program, delayMs));
    p.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* a) {
        a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        a->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
    p.startDetached();
#else
    // The shell sleeps first, so the program starts after this process has gone.
    const QString script = QStringLiteral("sleep %1; exec \"$0\"").arg(delayMs / 1000.0, 0, 'f', 3);
    QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, program});
#endif
}

void QtProcessLauncher::closeProcess(std::int64_t handle)
{
    auto it = processes_.find(handle);
    if (it == processes_.end())
        return;
    QProcess* p = it->second;
    processes_.erase(it);
    // Asked to end: its last words and its exit are no longer news.
    p->disconnect();
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(kProcessCloseGraceMs)) {
            p->kill();
            p->waitForFinished(kProcessCloseGraceMs);
        }
    }
    delete p;
}

void QtProcessLauncher::closeWindowByTitle(const QString& title)
{
#ifdef Q_OS_WIN
    const QByteArray ansi = title.toLocal8Bit();
    HWND w = FindWindowA(nullptr, ansi.constData());
    SendMessageA(w, WM_CLOSE, 0, 0);
#else
    Q_UNUSED(title);
#endif
}

}  // namespace tarvo::platform
