#include "sendsession.h"

#include <QIODevice>

namespace tarvo::tftp {

SendSession::SendSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                         const RetryPolicy& policy, std::unique_ptr<QIODevice> source, Mode mode,
                         QObject* parent)
    : Session(socket, peer, peerPort, peerLocked, policy, parent),
      source_(std::move(source)),
      reader_(source_.get(), mode)
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
    parameters_ = parameters;
    oackHandler_ = std::move(oackHandler);
    handshake_ = true;
    // A server's OACK already carries the agreed timeout: its own resends wait that long.
    if (parameters.timeoutSeconds > 0 && !oackHandler_)
        useFixedTimeout(parameters.timeoutSeconds);
    sendAndWait(first);
}

void SendSession::begin(const TransferParameters& parameters)
{
    handshake_ = false;
    parameters_ = parameters;
    if (parameters.timeoutSeconds > 0)
        useFixedTimeout(parameters.timeoutSeconds);
    progress();
    if (!readAhead(parameters_.windowsize))
        return;
    sendWindow();
    readAhead(parameters_.windowsize + readAheadBlocks());
}

void SendSession::handlePacket(const Packet& packet)
{
    if (isFinished())
        return;
    if (packet.opcode == Opcode::Ack) {
        if (handshake_) {
            if (packet.block != 0)
                return;  // a stray; the wait goes on
            // ACK 0 answers a WRQ whose options the server ignored.
            TransferParameters defaults;
            begin(oackHandler_ ? defaults : parameters_);
            return;
        }
        handleAck(packet.block);
        return;
    }
    if (packet.opcode == Opcode::Oack && handshake_ && oackHandler_) {
        QString why;
        const std::optional<TransferParameters> p = oackHandler_(packet, &why);
        if (!p) {
            failLocal(OptionRefused, why);
            return;
        }
        begin(*p);
        return;
    }
    if (packet.opcode == Opcode::Oack && !handshake_)
        return;  // a late duplicate of the OACK we already took
    failLocal(IllegalOperation, QStringLiteral("unexpected packet (opcode %1) while sending").arg(int(packet.opcode)));
}

bool SendSession::handleBlock(Opcode opcode, quint16 block, QByteArrayView payload)
{
    Q_UNUSED(payload);
    if (opcode != Opcode::Ack || handshake_)
        return false;
    handleAck(block);
    return true;
}

void SendSession::handleAck(quint16 block)
{
    const quint16 lastAcked = quint16((base_ - 1) & 0xffff);
    const qint64 ahead = quint16(block - lastAcked);
    if (ahead == 0 || ahead > sent_)
        return;  // duplicate or stale: the retry timer decides what to resend
    for (qint64 i = 0; i < ahead; ++i) {
        addBytes(window_[i].size() - 4);
        spare_.append(std::move(window_[i]));  // its buffer serves a later block
    }
    window_.remove(0, ahead);
    base_ += ahead;
    progress();
    if (window_.isEmpty() && lastRead_) {
        succeed();
        return;
    }
    // The next window was read while the peer was busy with this one; the
    // reply goes out at once and the reading happens after it.
    if (!readAhead(parameters_.windowsize))
        return;
    sendWindow();
    readAhead(parameters_.windowsize + readAheadBlocks());
}

qsizetype SendSession::readAheadBlocks() const
{
    // Up to one more window, but not more than SendAheadBytes of it.
    const qsizetype byBytes = qMax<qsizetype>(1, SendAheadBytes / parameters_.blksize);
    return qMin<qsizetype>(parameters_.windowsize, byBytes);
}

bool SendSession::readAhead(qsizetype blocks)
{
    while (!lastRead_ && window_.size() < blocks) {
        QByteArray packet = spare_.isEmpty() ? QByteArray() : spare_.takeLast();
        const qint64 index = base_ + window_.size();
        if (!reader_.nextPacket(parameters_.blksize, quint16(index & 0xffff), &packet)) {
            failLocal(NotDefined, QStringLiteral("read error"));
            return false;
        }
        lastRead_ = packet.size() - 4 < parameters_.blksize;
        window_.append(std::move(packet));
    }
    return true;
}

void SendSession::sendWindow()
{
    sent_ = qMin<qsizetype>(parameters_.windowsize, window_.size());
    for (qsizetype i = 0; i < sent_; ++i)
        send(window_[i]);
    restartWait();
}

void SendSession::retransmit()
{
    if (handshake_) {
        Session::retransmit();
        return;
    }
    for (qsizetype i = 0; i < sent_; ++i)
        send(window_[i]);
}

}  // namespace tarvo::tftp
