#pragma once
// The name of a controller's own folder under the served root, for a
// server started with --per-client, defined once for the server and the
// tool that stages and finds files there: an IPv4 address stays dotted;
// IPv6 loses the characters file systems dislike (':' becomes '-', a
// zone's '%' becomes '_'); a name's trailing dots and blanks, which Windows
// drops from file names, become '_'.

#include <QString>

namespace tarvo::tftp {

inline QString clientFolderName(const QString& address)
{
    QString name = address;
    name.replace(QLatin1Char(':'), QLatin1Char('-')).replace(QLatin1Char('%'), QLatin1Char('_'));
    for (qsizetype i = name.size() - 1; i >= 0 && (name[i] == QLatin1Char('.') || name[i] == QLatin1Char(' ')); --i)
        name[i] = QLatin1Char('_');
    return name;
}

}  // namespace tarvo::tftp
