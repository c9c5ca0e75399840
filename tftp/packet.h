#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace tarvo::tftp {

enum class Opcode : quint16 { Rrq = 1, Wrq = 2, Data = 3, Ack = 4, Error = 5, Oack = 6 };

enum class Mode { Octet, Netascii };

// TFTP error codes (RFC 1350, RFC 2347).
enum ErrorCode : quint16 {
    NotDefined = 0,
    FileNotFound = 1,
    AccessViolation = 2,
    DiskFull = 3,
    IllegalOperation = 4,
    UnknownTransferId = 5,
    FileExists = 6,
    NoSuchUser = 7,
    OptionRefused = 8,
};

struct Option {
    QByteArray name;   // lower case once decoded
    QByteArray value;
};

// One packet of any kind; only the fields of its opcode are meaningful.
struct Packet {
    Opcode opcode = Opcode::Ack;
    QByteArray fileName;        // RRQ, WRQ
    Mode mode = Mode::Octet;    // RRQ, WRQ
    QList<Option> options;      // RRQ, WRQ, OACK
    quint16 block = 0;          // DATA, ACK
    QByteArray data;            // DATA
    quint16 errorCode = 0;      // ERROR
    QByteArray errorText;       // ERROR

    static Packet request(Opcode op, const QByteArray& fileName, Mode mode,
                          const QList<Option>& options = {});
    static Packet dataBlock(quint16 block, const QByteArray& data);
    static Packet ack(quint16 block);
    static Packet error(quint16 code, const QByteArray& text);
    static Packet oack(const QList<Option>& options);

    QByteArray encode() const;
    QByteArray optionValue(const QByteArray& name) const;
};

// Decodes a datagram from the network. Anything malformed yields nullopt and
// a reason; nothing here trusts the sender.
std::optional<Packet> decodePacket(QByteArrayView datagram, QString* error = nullptr);

QByteArray encodeData(quint16 block, QByteArrayView data);
QByteArray encodeAck(quint16 block);
QByteArray encodeError(quint16 code, QByteArrayView text);

QByteArray modeName(Mode mode);

}  // namespace tarvo::tftp
