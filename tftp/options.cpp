#include "options.h"

namespace tarvo::tftp {

namespace {
// Enough digits for any tsize a file system can hold; more is noise.
constexpr qsizetype MaxNumberDigits = 18;

const Option* findOption(const QList<Option>& list, const QByteArray& name)
{
    for (const Option& o : list) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}
} // namespace

std::optional<qint64> parseOptionNumber(const QByteArray& value)
{
    if (value.isEmpty() || value.size() > MaxNumberDigits)
        return std::nullopt;
    qint64 n = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

ServerNegotiation negotiateServerOptions(const QList<Option>& requested, Opcode request, Mode mode,
                                         qint64 fileSize, const ServerOptionLimits& limits)
{
    ServerNegotiation result;
    for (const Option& o : requested) {
        const std::optional<qint64> n = parseOptionNumber(o.value);
        if (!n)
            continue;
        if (o.name == "blksize") {
            if (*n < MinBlockSize || *n > MaxBlockSize)
                continue;
            const int size = int(qMin<qint64>(*n, qMax(MinBlockSize, limits.maxBlksize)));
            result.parameters.blksize = size;
            result.accepted.append({o.name, QByteArray::number(size)});
        } else if (o.name == "windowsize") {
            if (*n < 1 || *n > MaxWindowSize)
                continue;
            const int size = int(qMin<qint64>(*n, qMax(1, limits.maxWindowsize)));
            result.parameters.windowsize = size;
            result.accepted.append({o.name, QByteArray::number(size)});
        } else if (o.name == "timeout") {
            if (*n < MinTimeoutSeconds || *n > MaxTimeoutSeconds)
                continue;
            result.parameters.timeoutSeconds = int(*n);
            result.accepted.append({o.name, QByteArray::number(*n)});
        } else if (o.name == "tsize") {
            // The size in netascii is not known before converting; leave it out.
            if (mode != Mode::Octet)
                continue;
            if (request == Opcode::Rrq) {
                // Some clients (curl) take a tsize of 0 for an error; an empty
                // file simply goes without one.
                if (fileSize <= 0)
                    continue;
                result.parameters.tsize = fileSize;
                result.accepted.append({o.name, QByteArray::number(fileSize)});
            } else {
                result.requestedTsize = *n;
                result.parameters.tsize = *n;
                result.accepted.append({o.name, QByteArray::number(*n)});
            }
        }
    }
    return result;
}

std::optional<TransferParameters> acceptOack(const QList<Option>& oack, const QList<Option>& asked,
                                             QString* error)
{
    TransferParameters p;
    auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    for (const Option& o : oack) {
        const Option* mine = findOption(asked, o.name);
        if (!mine)
            return refuse(QStringLiteral("server acknowledged %1, which was not asked for")
                              .arg(QString::fromLatin1(o.name)));
        const std::optional<qint64> n = parseOptionNumber(o.value);
        if (!n)
            return refuse(QStringLiteral("bad value for %1").arg(QString::fromLatin1(o.name)));
        const qint64 askedValue = parseOptionNumber(mine->value).value_or(0);
        if (o.name == "blksize") {
            if (*n < MinBlockSize || *n > askedValue)
                return refuse(QStringLiteral("blksize %1 not acceptable").arg(*n));
            p.blksize = int(*n);
        } else if (o.name == "windowsize") {
            if (*n < 1 || *n > askedValue)
                return refuse(QStringLiteral("windowsize %1 not acceptable").arg(*n));
            p.windowsize = int(*n);
        } else if (o.name == "timeout") {
            if (*n != askedValue)
                return refuse(QStringLiteral("timeout %1 not acceptable").arg(*n));
            p.timeoutSeconds = int(*n);
        } else if (o.name == "tsize") {
            p.tsize = *n;
        }
    }
    return p;
}

}  // namespace tarvo::tftp
