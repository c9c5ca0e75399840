#include "packet.h"

#include <QtEndian>

namespace tarvo::tftp {

namespace {
// RFC 2348 caps DATA payloads at 65464 bytes.
constexpr qsizetype MaxDataBytes = 65464;
// Longer names than this are refused: nothing sane needs them.
constexpr qsizetype MaxFileNameBytes = 255;
constexpr qsizetype MaxOptionNameBytes = 32;
constexpr qsizetype MaxOptionValueBytes = 32;
constexpr qsizetype MaxOptions = 16;
constexpr qsizetype MaxErrorTextBytes = 512;

void appendU16(QByteArray& out, quint16 v)
{
    out.append(char(v >> 8));
    out.append(char(v & 0xff));
}

quint16 readU16(QByteArrayView in, qsizetype at)
{
    return quint16((quint8(in[at]) << 8) | quint8(in[at + 1]));
}

void appendString(QByteArray& out, QByteArrayView s)
{
    out.append(s);
    out.append('\0');
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

// Splits the NUL-terminated strings that follow the opcode. The last byte
// must be a NUL; empty strings are kept so callers can refuse them.
bool splitStrings(QByteArrayView body, QList<QByteArrayView>* out, QString* error, bool bounded = true)
{
    if (body.isEmpty())
        return fail(error, QStringLiteral("truncated packet"));
    if (body.back() != '\0')
        return fail(error, QStringLiteral("string not terminated by NUL"));
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] == '\0') {
            out->append(body.sliced(start, i - start));
            start = i + 1;
            if (bounded && out->size() > 2 + 2 * MaxOptions)
                return fail(error, QStringLiteral("too many fields"));
        }
    }
    return true;
}

bool isKnownOption(const QByteArray& lowerName)
{
    return lowerName == "blksize" || lowerName == "tsize" || lowerName == "timeout" || lowerName == "windowsize";
}

// In a request, options this side does not know are skipped whatever their
// number or length (RFC 2347); the limits hold for the known ones. An OACK
// is held to the limits throughout.
bool parseOptions(const QList<QByteArrayView>& fields, qsizetype first, QList<Option>* options,
                  QString* error, bool skipUnknown = false)
{
    if ((fields.size() - first) % 2 != 0)
        return fail(error, QStringLiteral("option without value"));
    for (qsizetype i = first; i < fields.size(); i += 2) {
        const QByteArrayView name = fields[i];
        const QByteArrayView value = fields[i + 1];
        if (name.isEmpty())
            return fail(error, QStringLiteral("empty option name"));
        if (skipUnknown && (name.size() > MaxOptionNameBytes || !isKnownOption(name.toByteArray().toLower())))
            continue;
        if (name.size() > MaxOptionNameBytes || value.size() > MaxOptionValueBytes)
            return fail(error, QStringLiteral("option too long"));
        const QByteArray lower = name.toByteArray().toLower();
        for (const Option& o : *options) {
            if (o.name == lower)
                return fail(error, QStringLiteral("duplicate option"));
        }
        if (options->size() >= MaxOptions)
            return fail(error, QStringLiteral("too many options"));
        options->append({lower, value.toByteArray()});
    }
    return true;
}

bool decodeRequest(QByteArrayView body, Packet* p, QString* error)
{
    QList<QByteArrayView> fields;
    if (!splitStrings(body, &fields, error, false))
        return false;
    if (fields.size() < 2)
        return fail(error, QStringLiteral("request without mode"));
    if (fields[0].isEmpty())
        return fail(error, QStringLiteral("empty file name"));
    if (fields[0].size() > MaxFileNameBytes)
        return fail(error, QStringLiteral("file name too long"));
    const QByteArray mode = fields[1].toByteArray().toLower();
    if (mode == "octet")
        p->mode = Mode::Octet;
    else if (mode == "netascii")
        p->mode = Mode::Netascii;
    else
        return fail(error, QStringLiteral("unsupported mode"));
    p->fileName = fields[0].toByteArray();
    return parseOptions(fields, 2, &p->options, error, true);
}

} // namespace

Packet Packet::request(Opcode op, const QByteArray& fileName, Mode mode, const QList<Option>& options)
{
    Packet p;
    p.opcode = op;
    p.fileName = fileName;
    p.mode = mode;
    p.options = options;
    return p;
}

Packet Packet::dataBlock(quint16 block, const QByteArray& data)
{
    Packet p;
    p.opcode = Opcode::Data;
    p.block = block;
    p.data = data;
    return p;
}

Packet Packet::ack(quint16 block)
{
    Packet p;
    p.opcode = Opcode::Ack;
    p.block = block;
    return p;
}

Packet Packet::error(quint16 code, const QByteArray& text)
{
    Packet p;
    p.opcode = Opcode::Error;
    p.errorCode = code;
    p.errorText = text;
    return p;
}

Packet Packet::oack(const QList<Option>& options)
{
    Packet p;
    p.opcode = Opcode::Oack;
    p.options = options;
    return p;
}

QByteArray Packet::optionValue(const QByteArray& name) const
{
    for (const Option& o : options) {
        if (o.name == name)
            return o.value;
    }
    return {};
}

QByteArray modeName(Mode mode)
{
    return mode == Mode::Netascii ? QByteArrayLiteral("netascii") : QByteArrayLiteral("octet");
}

QByteArray Packet::encode() const
{
    switch (opcode) {
    case Opcode::Data:
        return encodeData(block, data);
    case Opcode::Ack:
        return encodeAck(block);
    case Opcode::Error:
        return encodeError(errorCode, errorText);
    case Opcode::Rrq:
    case Opcode::Wrq:
    case Opcode::Oack:
        break;
    }
    QByteArray out;
    appendU16(out, quint16(opcode));
    if (opcode != Opcode::Oack) {
        appendString(out, fileName);
        appendString(out, modeName(mode));
    }
    for (const Option& o : options) {
        appendString(out, o.name);
        appendString(out, o.value);
    }
    return out;
}

QByteArray encodeData(quint16 block, QByteArrayView data)
{
    QByteArray out;
    out.reserve(4 + data.size());
    appendU16(out, quint16(Opcode::Data));
    appendU16(out, block);
    out.append(data);
    return out;
}

QByteArray encodeAck(quint16 block)
{
    QByteArray out;
    appendU16(out, quint16(Opcode::Ack));
    appendU16(out, block);
    return out;
}

QByteArray encodeError(quint16 code, QByteArrayView text)
{
    QByteArray out;
    appendU16(out, quint16(Opcode::Error));
    appendU16(out, code);
    appendString(out, text.first(qMin(text.size(), MaxErrorTextBytes)));
    return out;
}

std::optional<Packet> decodePacket(QByteArrayView in, QString* error)
{
    if (in.size() < 2) {
        fail(error, QStringLiteral("truncated packet"));
        return std::nullopt;
    }
    Packet p;
    const quint16 op = readU16(in, 0);
    const QByteArrayView body = in.sliced(2);
    switch (op) {
    case quint16(Opcode::Rrq):
    case quint16(Opcode::Wrq):
        p.opcode = Opcode(op);
        if (!decodeRequest(body, &p, error))
            return std::nullopt;
        return p;
    case quint16(Opcode::Data):
        if (in.size() < 4) {
            fail(error, QStringLiteral("truncated DATA"));
            return std::nullopt;
        }
        if (in.size() - 4 > MaxDataBytes) {
            fail(error, QStringLiteral("DATA too large"));
            return std::nullopt;
        }
        p.opcode = Opcode::Data;
        p.block = readU16(in, 2);
        p.data = in.sliced(4).toByteArray();
        return p;
    case quint16(Opcode::Ack):
        if (in.size() != 4) {
            fail(error, in.size() < 4 ? QStringLiteral("truncated ACK") : QStringLiteral("oversized ACK"));
            return std::nullopt;
        }
        p.opcode = Opcode::Ack;
        p.block = readU16(in, 2);
        return p;
    case quint16(Opcode::Error): {
        if (in.size() < 5) {
            fail(error, QStringLiteral("truncated ERROR"));
            return std::nullopt;
        }
        const QByteArrayView text = in.sliced(4);
        const qsizetype nul = text.indexOf('\0');
        if (nul != text.size() - 1) {
            fail(error, nul < 0 ? QStringLiteral("ERROR text not terminated by NUL")
                                : QStringLiteral("bytes after ERROR text"));
            return std::nullopt;
        }
        p.opcode = Opcode::Error;
        p.errorCode = readU16(in, 2);
        p.errorText = text.first(qMin(nul, MaxErrorTextBytes)).toByteArray();
        return p;
    }
    case quint16(Opcode::Oack): {
        QList<QByteArrayView> fields;
        if (!splitStrings(body, &fields, error))
            return std::nullopt;
        p.opcode = Opcode::Oack;
        if (!parseOptions(fields, 0, &p.options, error))
            return std::nullopt;
        if (p.options.isEmpty()) {
            fail(error, QStringLiteral("OACK without options"));
            return std::nullopt;
        }
        return p;
    }
    default:
        fail(error, QStringLiteral("unknown opcode %1").arg(op));
        return std::nullopt;
    }
}

}  // namespace tarvo::tftp
