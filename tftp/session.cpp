#include "session.h"

namespace tftp {

namespace {
// Big enough for the largest DATA packet; longer datagrams are cut and then
// refused by the decoder.
constexpr qsizetype ReceiveBufferBytes = 65536 + 16;
constexpr qsizetype HeaderBytes = 4;
constexpr qsizetype MaxPayloadBytes = 65464;
}

Session::Session(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                 const RetryPolicy& policy, QObject* parent)
    : QObject(parent),
      m_socket(socket),
      m_peer(Endpoint::from(peer, peerPort)),
      m_peerLocked(peerLocked),
      m_policy(policy),
      m_waitMs(policy.initialTimeoutMs)
{
    m_socket->setParent(this);
    m_buffer.resize(ReceiveBufferBytes);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_dallyTimer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Session::onTimeout);
    connect(&m_dallyTimer, &QTimer::timeout, this, &Session::close);
    connect(m_socket, &DatagramSocket::readyRead, this, &Session::readPending);
    m_clock.start();
}

Session::~Session() = default;

quint16 Session::localPort() const
{
    return m_socket->localPort();
}

void Session::abort(quint16 code, const QByteArray& text)
{
    if (m_finished) {
        close();
        return;
    }
    failLocal(code, QString::fromUtf8(text));
}

void Session::send(QByteArrayView datagram)
{
    m_socket->send(datagram.data(), datagram.size(), m_peer);
}

void Session::sendAndWait(const QByteArray& datagram)
{
    m_lastSent = datagram;
    send(datagram);
    restartWait();
}

void Session::progress()
{
    m_silences = 0;
    m_waitMs = m_policy.initialTimeoutMs;
}

void Session::restartWait()
{
    // Moving a deadline is cheaper than restarting a timer for every packet;
    // the timer, when it fires early, just waits for the rest.
    m_deadlineMs = m_clock.elapsed() + qint64(m_waitMs);
    if (!m_timer.isActive())
        m_timer.start(int(m_waitMs));
}

void Session::useFixedTimeout(int seconds)
{
    m_policy.initialTimeoutMs = seconds * 1000;
    m_policy.maxTimeoutMs = seconds * 1000;
    m_policy.backoff = 1.0;
    m_waitMs = m_policy.initialTimeoutMs;
}

void Session::retransmit()
{
    if (!m_lastSent.isEmpty())
        send(m_lastSent);
}

void Session::onTimeout()
{
    if (m_finished)
        return;
    const qint64 early = m_deadlineMs - m_clock.elapsed();
    if (early > 0) {
        m_timer.start(int(early));
        return;
    }
    ++m_silences;
    if (m_silences >= m_policy.maxTries) {
        SessionResult r;
        r.timedOut = true;
        r.errorText = QStringLiteral("timed out after %1 silences").arg(m_silences);
        finish(r, 0);
        return;
    }
    m_waitMs = qMin<double>(m_waitMs * m_policy.backoff, m_policy.maxTimeoutMs);
    retransmit();
    m_deadlineMs = m_clock.elapsed() + qint64(m_waitMs);
    m_timer.start(int(m_waitMs));
}

void Session::readPending()
{
    // One datagram per notification: the event loop comes back at once if
    // more are waiting, and an empty socket costs no extra system call.
    if (m_closed)
        return;
    Endpoint from;
    const qint64 n = m_socket->receive(m_buffer.data(), m_buffer.size(), &from);
    if (n >= 0)
        handleDatagram(QByteArrayView(m_buffer.constData(), n), from);
}

void Session::handleDatagram(QByteArrayView datagram, const Endpoint& from)
{
    if (!(from == m_peer)) {
        if (!m_peerLocked && !m_finished && from.sameHost(m_peer)) {
            m_peer = from;  // the server's transfer port
            m_peerLocked = true;
        } else {
            // RFC 1350: a stranger gets error 5; the transfer goes on.
            const QByteArray reply = encodeError(UnknownTransferId, "Unknown transfer ID");
            m_socket->send(reply.constData(), reply.size(), from);
            return;
        }
    } else if (!m_peerLocked) {
        m_peerLocked = true;  // the reply came from the very port we asked
    }
    if (!m_finished && datagram.size() >= HeaderBytes) {
        const quint16 opcode = quint16((quint8(datagram[0]) << 8) | quint8(datagram[1]));
        const quint16 block = quint16((quint8(datagram[2]) << 8) | quint8(datagram[3]));
        const bool ack = opcode == quint16(Opcode::Ack) && datagram.size() == HeaderBytes;
        const bool data = opcode == quint16(Opcode::Data) && datagram.size() <= HeaderBytes + MaxPayloadBytes;
        if ((ack || data) && handleBlock(Opcode(opcode), block, datagram.sliced(HeaderBytes)))
            return;
    }
    QString reason;
    const std::optional<Packet> packet = decodePacket(datagram, &reason);
    if (m_finished) {
        if (packet && m_dallying)
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
    if (tellPeer && m_peerLocked)
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
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    result.bytes = m_bytes;
    result.elapsedMs = m_clock.elapsed();
    beforeFinished(result);
    emit finished(result);
    if (dallyMs > 0 && !m_closed) {
        m_dallying = true;
        m_dallyTimer.start(dallyMs);
    } else {
        close();
    }
}

void Session::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_dallying = false;
    m_dallyTimer.stop();
    m_socket->close();
    emit closed();
}

} // namespace tftp
