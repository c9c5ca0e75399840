#include "quitonsignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QMetaObject>

#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarvo::simulator {

#ifdef Q_OS_WIN
namespace {

// Ctrl+C, Ctrl+Break and the console closing: the event loop quits.
BOOL WINAPI onConsoleEvent(DWORD)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    return TRUE;
}

}  // namespace

void quitOnTerminationSignals()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
#else
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

void quitOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    // A control channel whose reader went away must not end the controller.
    ::signal(SIGPIPE, SIG_IGN);
}

#endif

}  // namespace tarvo::simulator
