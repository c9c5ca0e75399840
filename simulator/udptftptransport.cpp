#include "simulator/udptftptransport.h"

#include "simulator/pacedrelay.h"

#include "tftp/filesink.h"
#include "tftp/options.h"
#include "tftp/packet.h"
#include "tftp/receivesession.h"
#include "tftp/retrypolicy.h"
#include "tftp/sendsession.h"
#include "tftp/transfersocket.h"

#include <QBuffer>
#include <QFile>
#include <QTimer>

#include <memory>

namespace tarvo::simulator {

namespace {

// After the last ACK of a get, a repeated last block is answered this long.
constexpr int dallyMs = 1000;

tftp::RetryPolicy controllerRetries()
{
    tftp::RetryPolicy p;
    p.initialTimeoutMs = 100;
    p.backoff = 1.5;
    p.maxTimeoutMs = 2000;
    p.maxTries = 12;
    return p;
}

TftpOutcome toOutcome(const tftp::SessionResult& r)
{
    TftpOutcome o;
    o.ok = r.ok;
    o.timedOut = r.timedOut;
    o.errorCode = r.fromPeer ? r.errorCode : -1;
    o.errorText = r.errorText;
    o.bytes = r.bytes;
    return o;
}

void failLater(QObject* context, const QString& why, const TftpTransport::Done& done)
{
    QTimer::singleShot(0, context, [why, done] {
        TftpOutcome o;
        o.errorText = why;
        done(o);
    });
}

// The outcome is reported on its own turn of the event loop, outside the
// session's code; a stalled transfer reports none.
void wire(QObject* context, tftp::Session* session, const TftpTransport::Done& done, PacedRelay* relay)
{
    if (relay)
        QObject::connect(session, &QObject::destroyed, relay, &QObject::deleteLater);
    QObject::connect(session, &tftp::Session::finished, context, [context, done, relay](const tftp::SessionResult& r) {
        if (relay && relay->stalled())
            return;
        const TftpOutcome o = toOutcome(r);
        QMetaObject::invokeMethod(context, [done, o] { done(o); }, Qt::QueuedConnection);
    });
    QObject::connect(session, &tftp::Session::closed, session, &QObject::deleteLater);
}

// With a paced or stalling link the session talks to a relay, which talks
// to the server; otherwise to the server itself. False when no relay could
// be opened.
bool route(QObject* context, const QHostAddress& local, const TftpPace& pace, qint64 putSize, QHostAddress* peer,
           quint16* port, PacedRelay** relay)
{
    *relay = nullptr;
    if (pace.bytesPerSecond <= 0 && !pace.stallHalfway)
        return true;
    auto* r = new PacedRelay(local, *peer, *port, pace.bytesPerSecond, pace.stallHalfway, putSize, context);
    if (!r->isOpen()) {
        delete r;
        return false;
    }
    *peer = r->innerAddress();
    *port = r->innerPort();
    *relay = r;
    return true;
}

}  // namespace

UdpTftpTransport::UdpTftpTransport(const QHostAddress& local, QObject* parent) : QObject(parent), local_(local) {}

void UdpTftpTransport::put(const QString& localPath, const QString& host, quint16 port,
                           const QString& remoteName, qint64 sendBytes, const TftpPace& pace, Done done)
{
    auto file = std::make_unique<QFile>(localPath);
    if (!file->open(QIODevice::ReadOnly)) {
        failLater(this, QStringLiteral("can't open '%1': %2").arg(localPath, file->errorString()), done);
        return;
    }
    std::unique_ptr<QIODevice> source;
    QList<tftp::Option> asked;
    if (sendBytes >= 0) {
        // A short upload: only the first bytes, and no size announced that
        // would give it away.
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(file->read(sendBytes));
        buffer->open(QIODevice::ReadOnly);
        source = std::move(buffer);
    } else {
        asked.append({"tsize", QByteArray::number(file->size())});
        source = std::move(file);
    }
    QString error;
    const QHostAddress peer(host);
    tftp::DatagramSocket* socket = tftp::openTransferSocket(local_, peer, &error);
    if (!socket) {
        failLater(this, error, done);
        return;
    }
    const QByteArray wrq =
        tftp::Packet::request(tftp::Opcode::Wrq, remoteName.toUtf8(), tftp::Mode::Octet, asked).encode();
    QHostAddress to = peer;
    PacedRelay* relay = nullptr;
    if (!route(this, local_, pace, source->size(), &to, &port, &relay)) {
        delete socket;
        failLater(this, QStringLiteral("can't open a socket"), done);
        return;
    }
    auto* session = new tftp::SendSession(socket, to, port, false, controllerRetries(), std::move(source),
                                          tftp::Mode::Octet, this);
    wire(this, session, done, relay);
    session->startWithHandshake(wrq, tftp::TransferParameters(), [asked](const tftp::Packet& oack, QString* why) {
        return tftp::acceptOack(oack.options, asked, why);
    });
}

void UdpTftpTransport::get(const QString& localPath, const QString& host, quint16 port,
                           const QString& remoteName, const TftpPace& pace, Done done)
{
    // The file is written beside its place and renamed into it only once
    // complete: a failed get leaves the card's older file alone.
    auto sink = std::make_unique<tftp::FileSink>(localPath, tftp::Mode::Octet);
    QString error;
    if (!sink->open(&error)) {
        failLater(this, QStringLiteral("can't open '%1': %2").arg(localPath, error), done);
        return;
    }
    const QHostAddress peer(host);
    tftp::DatagramSocket* socket = tftp::openTransferSocket(local_, peer, &error);
    if (!socket) {
        failLater(this, error, done);
        return;
    }
    const QList<tftp::Option> asked{{"tsize", "0"}};
    const QByteArray rrq =
        tftp::Packet::request(tftp::Opcode::Rrq, remoteName.toUtf8(), tftp::Mode::Octet, asked).encode();
    QHostAddress to = peer;
    PacedRelay* relay = nullptr;
    if (!route(this, local_, pace, -1, &to, &port, &relay)) {
        delete socket;
        failLater(this, QStringLiteral("can't open a socket"), done);
        return;
    }
    auto* session = new tftp::ReceiveSession(socket, to, port, false, controllerRetries(), std::move(sink), this);
    session->setDallyMs(dallyMs);
    wire(this, session, done, relay);
    session->start(rrq, tftp::TransferParameters(), [asked](const tftp::Packet& oack, QString* why) {
        return tftp::acceptOack(oack.options, asked, why);
    });
}

}  // namespace tarvo::simulator
