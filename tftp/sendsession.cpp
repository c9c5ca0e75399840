#include "sendsession.h"

#include <QIODevice>

namespace tftp {

namespace {
// What a transfer may hold beyond its window, read while the peer is busy.
constexpr qsizetype ReadAheadBytes = 64 * 1024;
}

SendSession::SendSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                         const RetryPolicy& policy, std::unique_ptr<QIODevice> source, Mode mode,
                         QObject* parent)
    : Session(socket, peer, peerPort, peerLocked, policy, parent),
      m_source(std::move(source)),
      m_reader(m_source.get(), mode)
{
}

SendSession::~SendSession() = default;

void SendSession::startSending(const TransferParameters& parameters)
{
    begin(parameters);
}

void SendSession::startWithHandshake(const QByteArray& first, const TransferParameters& parameters,
                                     OackHandler oackHandler)
{
    m_parameters = parameters;
    m_oackHandler = std::move(oackHandler);
    m_handshake = true;
    // A server's OACK already carries the agreed timeout: its own resends wait that long.
    if (parameters.timeoutSeconds > 0 && !m_oackHandler)
        useFixedTimeout(parameters.timeoutSeconds);
    sendAndWait(first);
}

void SendSession::begin(const TransferParameters& parameters)
{
    m_handshake = false;
    m_parameters = parameters;
    if (parameters.timeoutSeconds > 0)
        useFixedTimeout(parameters.timeoutSeconds);
    progress();
    if (!readAhead(m_parameters.windowsize))
        return;
    sendWindow();
    readAhead(m_parameters.windowsize + readAheadBlocks());
}

void SendSession::handlePacket(const Packet& packet)
{
    if (isFinished())
        return;
    if (packet.opcode == Opcode::Ack) {
        if (m_handshake) {
            if (packet.block != 0)
                return;  // a stray; the wait goes on
            // ACK 0 answers a WRQ whose options the server ignored.
            TransferParameters defaults;
            begin(m_oackHandler ? defaults : m_parameters);
            return;
        }
        handleAck(packet.block);
        return;
    }
    if (packet.opcode == Opcode::Oack && m_handshake && m_oackHandler) {
        QString why;
        const std::optional<TransferParameters> p = m_oackHandler(packet, &why);
        if (!p) {
            failLocal(OptionRefused, why);
            return;
        }
        begin(*p);
        return;
    }
    if (packet.opcode == Opcode::Oack && !m_handshake)
        return;  // a late duplicate of the OACK we already took
    failLocal(IllegalOperation, QStringLiteral("unexpected packet (opcode %1) while sending").arg(int(packet.opcode)));
}

bool SendSession::handleBlock(Opcode opcode, quint16 block, QByteArrayView payload)
{
    Q_UNUSED(payload);
    if (opcode != Opcode::Ack || m_handshake)
        return false;
    handleAck(block);
    return true;
}

void SendSession::handleAck(quint16 block)
{
    const quint16 lastAcked = quint16((m_base - 1) & 0xffff);
    const qint64 ahead = quint16(block - lastAcked);
    if (ahead == 0 || ahead > m_sent)
        return;  // duplicate or stale: the retry timer decides what to resend
    for (qint64 i = 0; i < ahead; ++i) {
        addBytes(m_window[i].size() - 4);
        m_spare.append(std::move(m_window[i]));  // its buffer serves a later block
    }
    m_window.remove(0, ahead);
    m_base += ahead;
    progress();
    if (m_window.isEmpty() && m_lastRead) {
        succeed();
        return;
    }
    // The next window was read while the peer was busy with this one; the
    // reply goes out at once and the reading happens after it.
    if (!readAhead(m_parameters.windowsize))
        return;
    sendWindow();
    readAhead(m_parameters.windowsize + readAheadBlocks());
}

qsizetype SendSession::readAheadBlocks() const
{
    // Up to one more window, but not more than ReadAheadBytes of it.
    const qsizetype byBytes = qMax<qsizetype>(1, ReadAheadBytes / m_parameters.blksize);
    return qMin<qsizetype>(m_parameters.windowsize, byBytes);
}

bool SendSession::readAhead(qsizetype blocks)
{
    while (!m_lastRead && m_window.size() < blocks) {
        QByteArray packet = m_spare.isEmpty() ? QByteArray() : m_spare.takeLast();
        const qint64 index = m_base + m_window.size();
        if (!m_reader.nextPacket(m_parameters.blksize, quint16(index & 0xffff), &packet)) {
            failLocal(NotDefined, QStringLiteral("read error"));
            return false;
        }
        m_lastRead = packet.size() - 4 < m_parameters.blksize;
        m_window.append(std::move(packet));
    }
    return true;
}

void SendSession::sendWindow()
{
    m_sent = qMin<qsizetype>(m_parameters.windowsize, m_window.size());
    for (qsizetype i = 0; i < m_sent; ++i)
        send(m_window[i]);
    restartWait();
}

void SendSession::retransmit()
{
    if (m_handshake) {
        Session::retransmit();
        return;
    }
    for (qsizetype i = 0; i < m_sent; ++i)
        send(m_window[i]);
}

} // namespace tftp
