#include "stdincontrol.h"

#include "simulator/controllerengine.h"

#include <QDir>
#include <QDirIterator>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <io.h>
#include <thread>
#endif

namespace tarvo::simulator {

StdinControl::StdinControl(ControllerEngine& engine, QObject* parent) : QObject(parent), engine_(engine)
{
#ifdef Q_OS_WIN
    // Windows has no notifier for a console or a pipe: a thread reads, and
    // hands what it read to the event loop. It ends with the input, or
    // with the process.
    if (::_get_osfhandle(0) == -1)
        return;
    QPointer<StdinControl> self(this);
    std::thread([self] {
        char chunk[4096];
        int n;
        while ((n = ::_read(0, chunk, sizeof chunk)) > 0) {
            QByteArray bytes(chunk, n);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [self, bytes] {
                if (self)
                    self->take(bytes);
            });
        }
    }).detach();
#else
    // Without a standard input (closed) there is nothing to watch.
    if (::fcntl(STDIN_FILENO, F_GETFD) == -1)
        return;
    notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StdinControl::readAvailable);
#endif
}

void StdinControl::readAvailable()
{
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
        // End of input: the controller keeps running without its channel.
        notifier_->setEnabled(false);
        return;
    }
    take(QByteArray(chunk, int(n)));
}

void StdinControl::take(const QByteArray& bytes)
{
    buffer_.append(bytes);
    int end;
    while ((end = buffer_.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(buffer_.left(end)).trimmed();
        buffer_.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        const QString answer = handle(line);
        std::fputs(answer.toLocal8Bit().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        if (line == QLatin1String("quit"))
            emit quitRequested();
    }
}

QString StdinControl::handle(const QString& line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    const QString argument = line.section(QLatin1Char(' '), 1).trimmed();
    QString why;
    if (command == QLatin1String("power") && argument == QLatin1String("off")) {
        engine_.powerOff();
        return QStringLiteral("ok power off");
    }
    if (command == QLatin1String("power") && argument == QLatin1String("on")) {
        engine_.powerOn();
        return QStringLiteral("ok power on");
    }
    if (command == QLatin1String("card") && argument == QLatin1String("blank")) {
        if (!engine_.insertBlankCard(&why))
            return QStringLiteral("error: ") + why;
        return QStringLiteral("ok card ") + engine_.card().folder();
    }
    if (command == QLatin1String("card") && !argument.isEmpty()) {
        if (!engine_.insertCard(argument, &why))
            return QStringLiteral("error: ") + why;
        return QStringLiteral("ok card ") + engine_.card().folder();
    }
    if (command == QLatin1String("status") && argument.isEmpty())
        return QStringLiteral("status: ") + engine_.statusLine();
    if (command == QLatin1String("files") && argument.isEmpty()) {
        const QDir root(engine_.card().folder());
        QStringList files;
        QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << root.relativeFilePath(it.next());
        files.sort();
        return QStringLiteral("files: %1\n%2end").arg(files.size()).arg(files.isEmpty() ? QString() : files.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    if (command == QLatin1String("quit"))
        return QStringLiteral("ok quit");
    if (command == QLatin1String("help"))
        return QStringLiteral("commands: power off | power on | card FOLDER | card blank | status | files | quit");
    return QStringLiteral("error: unknown command: ") + line;
}

}  // namespace tarvo::simulator
