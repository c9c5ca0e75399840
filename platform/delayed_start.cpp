#include "platform/delayed_start.h"

#include <algorithm>

namespace tarvo::platform {

QString delayedStartArguments(const QString& program, int delayMs)
{
    const int pauseSeconds = std::max(1, (delayMs + 999) / 1000);
    return QStringLiteral("/C ping 127.0.0.1 -n %1 -w %2 > Nul & \"%3\"")
        .arg(QString::number(pauseSeconds + 1), QString::number(delayMs), program);
}

QString delayedStartCommandLine(const QString& program, int delayMs)
{
    return QLatin1String(kDelayedStartInterpreter) + QLatin1Char(' ') + delayedStartArguments(program, delayMs);
}

}  // namespace tarvo::platform
