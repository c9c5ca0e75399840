#include "simulator/floodprofiles.h"

#include <QDir>
#include <QFile>

namespace tarvo::simulator {

bool writeFloodProfiles(const QString& cardFolder, int count)
{
    const QString base = QDir(cardFolder).filePath(QStringLiteral("media/profiles/flood"));
    for (int i = 0; i < count; ++i) {
        const QString dir = QStringLiteral("%1/g%2").arg(base).arg(i / 100, 3, 10, QLatin1Char('0'));
        const QString path = QStringLiteral("%1/p%2.prf").arg(dir).arg(i, 5, 10, QLatin1Char('0'));
        if (i % 100 == 0 && !QDir().mkpath(dir))
            return false;
        if (QFile::exists(path))
            continue;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QStringLiteral("[profile]\nindex=%1\npower=%2\nspeed=%3\n").arg(i).arg(i % 97).arg(100 + i % 13).toLatin1());
    }
    return true;
}

}  // namespace tarvo::simulator
