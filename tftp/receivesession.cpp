#include "receivesession.h"

namespace tftp {

ReceiveSession::ReceiveSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort,
                               bool peerLocked, const RetryPolicy& policy, std::unique_ptr<DataSink> sink,
                               QObject* parent)
    : Session(socket, peer, peerPort, peerLocked, policy, parent), m_sink(std::move(sink))
{
}

ReceiveSession::~ReceiveSession()
{
    if (m_sink)
        m_sink->discard();
}

void ReceiveSession::start(const QByteArray& first, const TransferParameters& parameters,
                           OackHandler oackHandler)
{
    m_parameters = parameters;
    m_oackHandler = std::move(oackHandler);
    if (parameters.timeoutSeconds > 0 && !m_oackHandler)
        useFixedTimeout(parameters.timeoutSeconds);
    sendAndWait(first);
}

void ReceiveSession::handlePacket(const Packet& packet)
{
    if (isDallying()) {
        // Our last ACK was lost: the sender repeats the last block.
        if (packet.opcode == Opcode::Data && packet.block == quint16((m_expected - 1) & 0xffff))
            send(m_finalAck);
        return;
    }
    if (packet.opcode == Opcode::Data) {
        handleData(packet.block, packet.data);
        return;
    }
    if (packet.opcode == Opcode::Oack && m_oackTaken) {
        if (m_awaitingFirst)
            send(encodeAck(0));  // our ACK 0 was lost
        return;                  // else a late duplicate
    }
    if (packet.opcode == Opcode::Oack && m_awaitingFirst && m_oackHandler) {
        QString why;
        const std::optional<TransferParameters> p = m_oackHandler(packet, &why);
        if (!p) {
            fail(OptionRefused, why);
            return;
        }
        m_oackTaken = true;
        m_parameters = *p;
        if (p->timeoutSeconds > 0)
            useFixedTimeout(p->timeoutSeconds);
        progress();
        sendAndWait(encodeAck(0));
        return;
    }
    fail(IllegalOperation, QStringLiteral("unexpected packet (opcode %1) while receiving").arg(int(packet.opcode)));
}

void ReceiveSession::beforeFinished(const SessionResult& result)
{
    // A failed or aborted transfer leaves nothing behind.
    if (!result.ok && m_sink) {
        m_sink->discard();
        m_sink.reset();
    }
}

void ReceiveSession::retransmit()
{
    if (m_awaitingFirst) {
        Session::retransmit();
        return;
    }
    // Mid-window, the last ACK sent is older than what arrived since.
    send(encodeAck(quint16((m_expected - 1) & 0xffff)));
}

bool ReceiveSession::handleBlock(Opcode opcode, quint16 block, QByteArrayView payload)
{
    if (opcode != Opcode::Data || isDallying())
        return false;
    handleData(block, payload);
    return true;
}

void ReceiveSession::handleData(quint16 block, QByteArrayView data)
{
    const quint16 wanted = quint16(m_expected & 0xffff);
    if (block != wanted) {
        const quint16 behind = quint16(wanted - block);
        const bool duplicate = behind != 0 && behind <= 0x8000;
        // A repeat of an old block means our ACK was lost; a gap means a
        // block of the window was. Either way the sender needs our last ACK,
        // once per window so that a burst does not turn into a burst of ACKs.
        if (m_awaitingFirst)
            return;
        if ((duplicate && m_parameters.windowsize == 1) || !m_nackSent) {
            m_nackSent = m_parameters.windowsize > 1;
            send(encodeAck(quint16((m_expected - 1) & 0xffff)));
        }
        return;
    }
    if (m_awaitingFirst) {
        m_awaitingFirst = false;
        // DATA 1 without an OACK: the server ignored our options.
        if (m_oackHandler && !m_oackTaken)
            m_parameters = TransferParameters();
    }
    if (data.size() > m_parameters.blksize) {
        fail(IllegalOperation, QStringLiteral("block larger than negotiated"));
        return;
    }
    if (m_maxBytes >= 0 && bytes() + data.size() > m_maxBytes) {
        fail(DiskFull, QStringLiteral("file exceeds the size limit of %1 bytes").arg(m_maxBytes));
        return;
    }
    QString error;
    if (!m_sink->write(data, &error)) {
        fail(DiskFull, QStringLiteral("cannot write: %1").arg(error));
        return;
    }
    addBytes(data.size());
    ++m_expected;
    m_nackSent = false;
    progress();
    if (data.size() < m_parameters.blksize) {
        acknowledgeLast();
        return;
    }
    if ((m_expected - 1) % m_parameters.windowsize == 0)
        sendAndWait(encodeAck(block));
    else
        restartWait();
}

void ReceiveSession::acknowledgeLast()
{
    QString error;
    if (!m_sink->commit(&error)) {
        m_sink.reset();
        fail(DiskFull, QStringLiteral("cannot store the file: %1").arg(error));
        return;
    }
    m_sink.reset();
    m_finalAck = encodeAck(quint16((m_expected - 1) & 0xffff));
    send(m_finalAck);
    succeed(m_dallyMs);
}

void ReceiveSession::fail(quint16 code, const QString& text)
{
    if (m_sink) {
        m_sink->discard();
        m_sink.reset();
    }
    failLocal(code, text);
}

} // namespace tftp
