#pragma once
// The status lines OpenTFTPServerMT prints for the program that started it,
// defined once for both sides: the server writes them, the tool reads them.
// One line each, words separated by one blank; a path is always the last
// field and may itself hold blanks. With -v each report line carries a
// "yyyy-MM-dd HH:mm:ss.zzz " time stamp in front; READY and FAILED do not.
//
//   READY <port> <root>                           listening, root writable
//   FAILED <reason> <detail>                      could not start (exits)
//   STORED <bytes> <sha256-hex> <peer> <path>     an upload written completely
//   SENT <bytes> <peer> <path>                    a download sent completely
//   PROGRESS <put|get> <bytes> <size|-> <peer> <path>
//                                                 a running transfer, about once a second

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvo::tftp::status {

inline constexpr char kReady[] = "READY";
inline constexpr char kFailed[] = "FAILED";
inline constexpr char kStored[] = "STORED";
inline constexpr char kSent[] = "SENT";
inline constexpr char kProgress[] = "PROGRESS";

// The reasons of a FAILED line.
inline constexpr char kPortInUse[] = "port-in-use";
inline constexpr char kPermission[] = "permission";
inline constexpr char kFolderNotWritable[] = "folder-not-writable";
inline constexpr char kOther[] = "other";

// The directions of a PROGRESS line, as the server sees them: put is an
// upload to the PC, get a download from it.
inline constexpr char kPut[] = "put";
inline constexpr char kGet[] = "get";
// A PROGRESS line's size when the client announced none.
inline constexpr char kUnknownSize[] = "-";

inline QString readyLine(int port, const QString& root)
{
    return QStringLiteral("%1 %2 %3").arg(QLatin1String(kReady)).arg(port).arg(root);
}

inline QString failedLine(const char* reason, const QString& detail)
{
    return QStringLiteral("%1 %2 %3").arg(QLatin1String(kFailed), QLatin1String(reason), detail);
}

inline QString storedLine(qint64 bytes, const QString& sha256Hex, const QString& peer, const QString& path)
{
    return QStringLiteral("%1 %2 %3 %4 %5").arg(QLatin1String(kStored)).arg(bytes).arg(sha256Hex, peer, path);
}

inline QString sentLine(qint64 bytes, const QString& peer, const QString& path)
{
    return QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(kSent)).arg(bytes).arg(peer, path);
}

inline QString progressLine(const char* direction, qint64 bytes, qint64 announcedSize, const QString& peer,
                            const QString& path)
{
    const QString size = announcedSize < 0 ? QLatin1String(kUnknownSize) : QString::number(announcedSize);
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(QLatin1String(kProgress), QLatin1String(direction))
        .arg(bytes)
        .arg(size, peer, path);
}

// A line without its time stamp.
inline QString withoutTimeStamp(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    QString bare = line;
    bare.remove(stamp);
    return bare;
}

// The fields of a status line: its first word, then fields - 1 more words,
// the last of which takes the rest of the line. nullopt when the line is
// not of that kind or too short.
inline std::optional<QStringList> fieldsOf(const QString& bareLine, const char* kind, int fields)
{
    QStringList words = bareLine.split(QLatin1Char(' '));
    if (words.size() < fields || words.front() != QLatin1String(kind))
        return std::nullopt;
    QStringList result = words.mid(0, fields - 1);
    result << words.mid(fields - 1).join(QLatin1Char(' '));
    return result;
}

}  // namespace tarvo::tftp::status
