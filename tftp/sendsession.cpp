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
    slots_ = parameters_.windowsize + readAheadBlocks();
    slotBytes_ = 4 + parameters_.blksize;
    ring_.resize(slots_ * slotBytes_);
    sizes_.fill(0, slots_);
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
    for (qint64 i = 0; i < ahead; ++i)
        addBytes(packetSize(i) - 4);
    head_ = slotOf(ahead);
    count_ -= ahead;
    base_ += ahead;
    progress();
    if (count_ == 0 && lastRead_) {
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
    blocks = qMin(blocks, slots_);
    while (!lastRead_ && count_ < blocks) {
        const qint64 index = base_ + count_;
        const qsizetype slot = slotOf(count_);
        const qint64 size = reader_.readPacket(parameters_.blksize, quint16(index & 0xffff),
                                               ring_.data() + slot * slotBytes_);
        if (size < 0) {
            failLocal(NotDefined, QStringLiteral("read error"));
            return false;
        }
        sizes_[slot] = size;
        lastRead_ = size - 4 < parameters_.blksize;
        ++count_;
    }
    return true;
}

void SendSession::sendPackets(qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        send(QByteArrayView(packet(i), packetSize(i)));
}

void SendSession::sendWindow()
{
    sent_ = qMin<qsizetype>(parameters_.windowsize, count_);
    sendPackets(sent_);
    restartWait();
}

void SendSession::retransmit()
{
    if (handshake_) {
        Session::retransmit();
        return;
    }
    sendPackets(sent_);
}

}  // namespace tarvo::tftp
