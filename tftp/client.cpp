#include "client.h"

#include "filesink.h"
#include "options.h"
#include "receivesession.h"
#include "sendsession.h"
#include "transfersocket.h"

#include <QFile>
#include <QTimer>

namespace tarvo::tftp {

namespace {
// After the last ACK, answer a repeated last block for this long.
constexpr int ClientDallyMs = 1000;

RetryPolicy policyFrom(const ClientOptions& o)
{
    RetryPolicy p;
    p.initialTimeoutMs = o.initialTimeoutMs;
    p.backoff = o.backoff;
    p.maxTimeoutMs = o.maxTimeoutMs;
    p.maxTries = o.maxTries;
    return p;
}

QList<Option> askedOptions(const ClientOptions& o, qint64 tsize)
{
    QList<Option> asked;
    if (o.blksize > 0)
        asked.append({"blksize", QByteArray::number(o.blksize)});
    if (o.sendTsize)
        asked.append({"tsize", QByteArray::number(tsize)});
    if (o.windowsize > 0)
        asked.append({"windowsize", QByteArray::number(o.windowsize)});
    return asked;
}

TransferResult toTransferResult(const SessionResult& r)
{
    TransferResult t;
    t.ok = r.ok;
    t.timedOut = r.timedOut;
    t.errorCode = r.fromPeer ? r.errorCode : -1;
    t.errorText = r.errorText;
    t.bytes = r.bytes;
    return t;
}

// done runs on its own turn of the event loop, outside the session's code,
// so that it may even delete the Client.
void wire(Client* client, Session* session, std::function<void(const TransferResult&)> done)
{
    QObject::connect(session, &Session::finished, client,
                     [client, done = std::move(done)](const SessionResult& r) {
                         const TransferResult t = toTransferResult(r);
                         QMetaObject::invokeMethod(client, [done, t] { done(t); }, Qt::QueuedConnection);
                     });
    QObject::connect(session, &Session::closed, session, &QObject::deleteLater);
}
} // namespace

Client::Client(QObject* parent)
    : QObject(parent)
{
}

void Client::failLater(const QString& reason, std::function<void(const TransferResult&)> done)
{
    QTimer::singleShot(0, this, [reason, done = std::move(done)] {
        TransferResult r;
        r.errorText = reason;
        done(r);
    });
}

void Client::put(const QHostAddress& host, quint16 port, const QString& remoteName,
                 const QString& localPath, const ClientOptions& options,
                 std::function<void(const TransferResult&)> done)
{
    auto file = std::make_unique<QFile>(localPath);
    if (!file->open(QIODevice::ReadOnly)) {
        failLater(QStringLiteral("cannot read %1: %2").arg(localPath, file->errorString()), std::move(done));
        return;
    }
    QString error;
    DatagramSocket* socket = openTransferSocket(options.localAddress, host, &error);
    if (!socket) {
        failLater(error, std::move(done));
        return;
    }
    const QList<Option> asked = askedOptions(options, file->size());
    const QByteArray wrq = Packet::request(Opcode::Wrq, remoteName.toUtf8(), Mode::Octet, asked).encode();
    auto* session = new SendSession(socket, host, port, false, policyFrom(options), std::move(file),
                                    Mode::Octet, this);
    wire(this, session, std::move(done));
    session->startWithHandshake(wrq, TransferParameters(), [asked](const Packet& oack, QString* why) {
        return acceptOack(oack.options, asked, why);
    });
}

void Client::get(const QHostAddress& host, quint16 port, const QString& remoteName,
                 const QString& localPath, const ClientOptions& options,
                 std::function<void(const TransferResult&)> done)
{
    auto sink = std::make_unique<FileSink>(localPath, Mode::Octet);
    QString error;
    if (!sink->open(&error)) {
        failLater(QStringLiteral("cannot write beside %1: %2").arg(localPath, error), std::move(done));
        return;
    }
    DatagramSocket* socket = openTransferSocket(options.localAddress, host, &error);
    if (!socket) {
        failLater(error, std::move(done));
        return;
    }
    const QList<Option> asked = askedOptions(options, 0);
    const QByteArray rrq = Packet::request(Opcode::Rrq, remoteName.toUtf8(), Mode::Octet, asked).encode();
    auto* session = new ReceiveSession(socket, host, port, false, policyFrom(options), std::move(sink), this);
    session->setDallyMs(ClientDallyMs);
    wire(this, session, std::move(done));
    session->start(rrq, TransferParameters(), [asked](const Packet& oack, QString* why) {
        return acceptOack(oack.options, asked, why);
    });
}

}  // namespace tarvo::tftp
