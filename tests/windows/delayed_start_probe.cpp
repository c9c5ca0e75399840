// The delayed start at process end, for real on Windows: started with a
// marker file's path in TARVO_DELAYED_START_MARK, this program starts
// itself again through the platform's delayed start (cmd.exe, ping) and
// exits at once; the second start writes the time it began into the
// marker. delayed_start.sh runs it where nothing can leave the machine.
#include "platform/qt_platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mark = qEnvironmentVariable("TARVO_DELAYED_START_MARK");
    if (mark.isEmpty()) {
        std::fputs("TARVO_DELAYED_START_MARK names the marker file\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsSet("TARVO_DELAYED_START_LATER")) {
        QFile f(mark);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()));
        return 0;
    }
    // The environment goes to the interpreter and on to the second start.
    qputenv("TARVO_DELAYED_START_LATER", "1");
    std::printf("%lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
    std::fflush(stdout);
    tarvo::platform::QtPlatform platform;
    platform.startDetachedDelayed(QCoreApplication::applicationFilePath().replace(QLatin1Char('/'), QLatin1Char('\\')),
                                  2000);
    return 0;
}
