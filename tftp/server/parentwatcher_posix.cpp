#include "parentwatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

ParentWatcher::ParentWatcher(QObject* parent)
    : QObject(parent)
{
}

ParentWatcher::~ParentWatcher() = default;

void ParentWatcher::install()
{
    // With the parent gone nobody reads our stdout: a log line must not
    // kill us with SIGPIPE before the temporary files are cleaned up.
    ::signal(SIGPIPE, SIG_IGN);

    parentPid_ = ::getppid();
    auto* timer = new QTimer(this);
    timer->setInterval(CheckIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] {
        if (::getppid() != parentPid_)
            end(QStringLiteral("parent process %1 is gone").arg(parentPid_));
    });
    timer->start();

    struct stat st;
    if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISFIFO(st.st_mode))
        return;
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        // Readable: one read cannot block. 0 is end-of-file.
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            notifier->setEnabled(false);
            end(QStringLiteral("standard input closed"));
        }
    });
}

void ParentWatcher::end(const QString& how)
{
    if (ended_)
        return;
    ended_ = true;
    emit parentEnded(how);
}
