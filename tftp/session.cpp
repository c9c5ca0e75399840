#include "session.h"

#include <cstring>

namespace tarvo::tftp {

namespace {
constexpr qsizetype HeaderBytes = 4;
constexpr qsizetype MaxPayloadBytes = 65464;
}

Session::Session(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                 const RetryPolicy& policy, QObject* parent)
    : QObject(parent),
      socket_(socket),
      peer_(Endpoint::from(peer, peerPort)),
      peerLocked_(peerLocked),
      policy_(policy),
      waitMs_(policy.initialTimeoutMs)
{
    socket_->setParent(this);
    buffer_.resize(ReceiveBufferBytes);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    dallyTimer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Session::onTimeout);
    connect(&dallyTimer_, &QTimer::timeout, this, &Session::close);
    socket_->setReadHandler([this] { readPending(); });
    clock_.start();
}

Session::~Session() = default;

quint16 Session::localPort() const
{
    return socket_->localPort();
}

void Session::abort(quint16 code, const QByteArray& text)
{
    if (finished_) {
        close();
        return;
    }
    failLocal(code, QString::fromUtf8(text));
}

void Session::send(QByteArrayView datagram)
{
    socket_->send(datagram.data(), datagram.size(), peer_);
}

void Session::sendAndWait(QByteArrayView datagram)
{
    // Copied into a buffer that stays: a lock-step receiver keeps a new
    // ACK here for every block.
    lastSent_.resize(datagram.size());
    std::memcpy(lastSent_.data(), datagram.data(), size_t(datagram.size()));
    send(datagram);
    restartWait();
}

void Session::progress()
{
    silences_ = 0;
    progressMs_ = clock_.elapsed();
    waitMs_ = policy_.initialTimeoutMs;
}

void Session::restartWait()
{
    // Moving a deadline is cheaper than restarting a timer for every packet;
    // the timer, when it fires early, just waits for the rest.
    const qint64 now = clock_.elapsed();
    const qint64 wait = nextWaitMs(now);
    deadlineMs_ = now + wait;
    if (!timer_.isActive())
        timer_.start(int(wait));
}

qint64 Session::nextWaitMs(qint64 now) const
{
    const qint64 silentMs = now - progressMs_;
    return qBound<qint64>(1, policy_.maxSilenceMs - silentMs, qint64(waitMs_));
}

void Session::useFixedTimeout(int seconds)
{
    policy_.initialTimeoutMs = seconds * 1000;
    policy_.maxTimeoutMs = seconds * 1000;
    policy_.backoff = 1.0;
    waitMs_ = policy_.initialTimeoutMs;
}

void Session::retransmit()
{
    if (!lastSent_.isEmpty())
        send(lastSent_);
}

void Session::onTimeout()
{
    if (finished_)
        return;
    const qint64 early = deadlineMs_ - clock_.elapsed();
    if (early > 0) {
        timer_.start(int(early));
        return;
    }
    ++silences_;
    const qint64 silentMs = clock_.elapsed() - progressMs_;
    if (silences_ >= policy_.maxTries || silentMs >= policy_.maxSilenceMs) {
        SessionResult r;
        r.timedOut = true;
        r.errorText = QStringLiteral("timed out after %1 silences, %2 ms without progress")
                          .arg(silences_).arg(silentMs);
        finish(r, 0);
        return;
    }
    waitMs_ = qMin<double>(waitMs_ * policy_.backoff, policy_.maxTimeoutMs);
    retransmit();
    const qint64 now = clock_.elapsed();
    const qint64 wait = nextWaitMs(now);
    deadlineMs_ = now + wait;
    timer_.start(int(wait));
}

void Session::readPending()
{
    // As many datagrams per wake-up as the peer may have sent before it
    // must wait for us: a window of DATA, or in lock-step just one. Reading
    // on to an empty socket would cost a lock-step transfer a system call
    // per block; anything beyond the burst wakes the event loop again.
    for (int i = 0; i < burst_ && !closed_; ++i) {
        Endpoint from;
        const qint64 n = socket_->receive(buffer_.data(), buffer_.size(), &from);
        if (n < 0)
            return;
        handleDatagram(QByteArrayView(buffer_.constData(), n), from);
    }
}

void Session::handleDatagram(QByteArrayView datagram, const Endpoint& from)
{
    if (!(from == peer_)) {
        if (!peerLocked_ && !finished_ && from.sameHost(peer_)) {
            peer_ = from;  // the server's transfer port
            peerLocked_ = true;
        } else {
            // RFC 1350: a stranger gets error 5; the transfer goes on.
            const QByteArray reply = encodeError(UnknownTransferId, "Unknown transfer ID");
            socket_->send(reply.constData(), reply.size(), from);
            return;
        }
    } else if (!peerLocked_) {
        peerLocked_ = true;  // the reply came from the very port we asked
    }
    if (!finished_ && datagram.size() >= HeaderBytes) {
        const quint16 opcode = quint16((quint8(datagram[0]) << 8) | quint8(datagram[1]));
        const quint16 block = quint16((quint8(datagram[2]) << 8) | quint8(datagram[3]));
        const bool ack = opcode == quint16(Opcode::Ack) && datagram.size() == HeaderBytes;
        const bool data = opcode == quint16(Opcode::Data) && datagram.size() <= HeaderBytes + MaxPayloadBytes;
        if ((ack || data) && handleBlock(Opcode(opcode), block, datagram.sliced(HeaderBytes)))
            return;
    }
    QString reason;
    const std::optional<Packet> packet = decodePacket(datagram, &reason);
    if (finished_) {
        if (packet && dallying_)
            handlePacket(*packet);
        return;
    }
    if (!packet) {
        failMalformed(reason);
        return;
    }
    if (packet->opcode == Opcode::Rrq || packet->opcode == Opcode::Wrq)
        return;  // a repeated request that took a detour; the transfer answers it
    if (packet->opcode == Opcode::Error) {
        failByPeer(*packet);
        return;
    }
    handlePacket(*packet);
}

void Session::succeed(int dallyMs)
{
    SessionResult r;
    r.ok = true;
    finish(r, dallyMs);
}

void Session::failLocal(quint16 code, const QString& text, bool tellPeer)
{
    if (tellPeer && peerLocked_)
        send(encodeError(code, text.toUtf8()));
    SessionResult r;
    r.errorCode = code;
    r.errorText = text;
    finish(r, 0);
}

void Session::failByPeer(const Packet& error)
{
    SessionResult r;
    r.fromPeer = true;
    r.errorCode = error.errorCode;
    r.errorText = QString::fromUtf8(error.errorText);
    finish(r, 0);
}

void Session::failMalformed(const QString& reason)
{
    failLocal(IllegalOperation, QStringLiteral("malformed packet: %1").arg(reason));
}

void Session::finish(SessionResult result, int dallyMs)
{
    if (finished_)
        return;
    finished_ = true;
    timer_.stop();
    result.bytes = bytes_;
    result.elapsedMs = clock_.elapsed();
    beforeFinished(result);
    emit finished(result);
    if (dallyMs > 0 && !closed_) {
        dallying_ = true;
        dallyTimer_.start(dallyMs);
    } else {
        close();
    }
}

void Session::close()
{
    if (closed_)
        return;
    closed_ = true;
    dallying_ = false;
    dallyTimer_.stop();
    socket_->close();
    emit closed();
}

}  // namespace tarvo::tftp
