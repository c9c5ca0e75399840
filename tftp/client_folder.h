#pragma once
// The name of a controller's own folder under the served root, for a
// server started with --per-client, defined once for the server and the
// tool that stages and finds files there: an IPv4 address stays dotted;
// IPv6 loses the characters file systems dislike (':' becomes '-', a
// zone's '%' becomes '_').

#include <QString>

namespace tarvo::tftp {

inline QString clientFolderName(const QString& address)
{
    QString name = address;
    name.replace(QLatin1Char(':'), QLatin1Char('-')).replace(QLatin1Char('%'), QLatin1Char('_'));
    return name;
}

}  // namespace tarvo::tftp
