#include "stopwatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Self-pipe: the handler only writes the signal number; the event loop reads it.
int g_pipe[2] = {-1, -1};

void onSignal(int signo)
{
    const int saved = errno;
    const char c = char(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
    errno = saved;
}
} // namespace

StopWatcher::StopWatcher(QObject* parent)
    : QObject(parent)
{
}

// The handlers stay to the end: a second signal while cleaning up must not
// cut the cleanup short.
StopWatcher::~StopWatcher() = default;

bool StopWatcher::install(QString* error)
{
    if (::pipe(g_pipe) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char c = 0;
        while (::read(g_pipe[0], &c, 1) == 1)
            emit stopRequested(c == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
    });
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &sa, nullptr) != 0 || ::sigaction(SIGINT, &sa, nullptr) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}
