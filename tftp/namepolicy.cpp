#include "namepolicy.h"

#include <cstring>

namespace tarvo::tftp {

namespace {
// Names Windows maps to devices, with or without an extension.
const char* const DeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                   "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
                                   "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
constexpr char ForbiddenCharacters[] = "/\\:*?\"<>|";

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity NameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity NameCase = Qt::CaseSensitive;
#endif

bool refuse(QString* reason, const QString& why)
{
    if (reason)
        *reason = why;
    return false;
}
} // namespace

NamePolicy::NamePolicy(const QStringList& allowedNames)
{
    for (const QString& n : allowedNames) {
        const QString name = n.trimmed();
        if (name == QLatin1String("*"))
            anyName_ = true;
        else if (!name.isEmpty())
            allowed_.append(name);
    }
}

bool NamePolicy::isPlainName(const QString& name, QString* reason)
{
    if (name.isEmpty())
        return refuse(reason, QStringLiteral("empty name"));
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return refuse(reason, QStringLiteral("control character in name"));
        if (c.unicode() < 0x80 && std::strchr(ForbiddenCharacters, c.toLatin1()))
            return refuse(reason, QStringLiteral("path separator or reserved character in name"));
    }
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1String("..")))
        return refuse(reason, QStringLiteral("dot-dot in name"));
    if (name.startsWith(QLatin1Char('.')))
        return refuse(reason, QStringLiteral("hidden name"));
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')) || name.startsWith(QLatin1Char(' ')))
        return refuse(reason, QStringLiteral("name with leading or trailing dot or space"));
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed();
    for (const char* device : DeviceNames) {
        if (stem.compare(QLatin1String(device), Qt::CaseInsensitive) == 0)
            return refuse(reason, QStringLiteral("device name"));
    }
    return true;
}

bool NamePolicy::accepts(const QByteArray& raw, QString* reason) const
{
    const QString name = QString::fromUtf8(raw);
    if (name.toUtf8() != raw)
        return refuse(reason, QStringLiteral("name is not valid UTF-8"));
    if (!isPlainName(name, reason))
        return false;
    if (anyName_)
        return true;
    for (const QString& allowed : allowed_) {
        if (name.compare(allowed, NameCase) == 0)
            return true;
    }
    return refuse(reason, QStringLiteral("name not in the allowed list"));
}

}  // namespace tarvo::tftp
