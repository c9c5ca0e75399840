#include "receivesession.h"

namespace tarvo::tftp {

ReceiveSession::ReceiveSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort,
                               bool peerLocked, const RetryPolicy& policy, std::unique_ptr<DataSink> sink,
                               QObject* parent)
    : Session(socket, peer, peerPort, peerLocked, policy, parent), sink_(std::move(sink))
{
}

ReceiveSession::~ReceiveSession()
{
    if (sink_)
        sink_->discard();
}

void ReceiveSession::start(const QByteArray& first, const TransferParameters& parameters,
                           OackHandler oackHandler)
{
    parameters_ = parameters;
    setBurst(parameters.windowsize);
    oackHandler_ = std::move(oackHandler);
    if (parameters.timeoutSeconds > 0 && !oackHandler_)
        useFixedTimeout(parameters.timeoutSeconds);
    sendAndWait(first);
}

void ReceiveSession::handlePacket(const Packet& packet)
{
    if (isDallying()) {
        // Our last ACK was lost: the sender repeats the last block.
        if (packet.opcode == Opcode::Data && packet.block == quint16((expected_ - 1) & 0xffff))
            send(finalAck_);
        return;
    }
    if (packet.opcode == Opcode::Data) {
        handleData(packet.block, packet.data);
        return;
    }
    if (packet.opcode == Opcode::Oack && oackTaken_) {
        if (awaitingFirst_)
            send(encodeAck(0));  // our ACK 0 was lost
        return;                  // else a late duplicate
    }
    if (packet.opcode == Opcode::Oack && awaitingFirst_ && oackHandler_) {
        QString why;
        const std::optional<TransferParameters> p = oackHandler_(packet, &why);
        if (!p) {
            fail(OptionRefused, why);
            return;
        }
        oackTaken_ = true;
        parameters_ = *p;
        setBurst(p->windowsize);
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
    if (!result.ok && sink_) {
        sink_->discard();
        sink_.reset();
    }
}

void ReceiveSession::retransmit()
{
    if (awaitingFirst_) {
        Session::retransmit();
        return;
    }
    // Mid-window, the last ACK sent is older than what arrived since.
    send(ackFor(quint16((expected_ - 1) & 0xffff)));
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
    const quint16 wanted = quint16(expected_ & 0xffff);
    if (block != wanted) {
        const quint16 behind = quint16(wanted - block);
        const bool duplicate = behind != 0 && behind <= 0x8000;
        // A repeat of an old block means our ACK was lost; a gap means a
        // block of the window was. Either way the sender needs our last ACK,
        // once per window so that a burst does not turn into a burst of ACKs.
        if (awaitingFirst_)
            return;
        if ((duplicate && parameters_.windowsize == 1) || !nackSent_) {
            nackSent_ = parameters_.windowsize > 1;
            send(ackFor(quint16((expected_ - 1) & 0xffff)));
        }
        return;
    }
    if (awaitingFirst_) {
        awaitingFirst_ = false;
        // DATA 1 without an OACK: the server ignored our options.
        if (oackHandler_ && !oackTaken_) {
            parameters_ = TransferParameters();
            setBurst(1);
        }
    }
    if (data.size() > parameters_.blksize) {
        fail(IllegalOperation, QStringLiteral("block larger than negotiated"));
        return;
    }
    if (maxBytes_ >= 0 && bytes() + data.size() > maxBytes_) {
        fail(DiskFull, QStringLiteral("file exceeds the size limit of %1 bytes").arg(maxBytes_));
        return;
    }
    if (expectedBytes_ >= 0 && bytes() + data.size() > expectedBytes_) {
        fail(IllegalOperation, QStringLiteral("more data than the announced %1 bytes").arg(expectedBytes_));
        return;
    }
    addBytes(data.size());
    ++expected_;
    nackSent_ = false;
    progress();
    QString error;
    if (data.size() < parameters_.blksize) {
        if (!sink_->write(data, &error)) {
            fail(DiskFull, QStringLiteral("cannot write: %1").arg(error));
            return;
        }
        acknowledgeLast();
        return;
    }
    // The ACK goes out first: the sender prepares its next block while this
    // one is stored. Only the last ACK says the file is in place, and a
    // failed write answers the next block with an error.
    if ((expected_ - 1) % parameters_.windowsize == 0)
        sendAndWait(ackFor(block));
    else
        restartWait();
    if (!sink_->write(data, &error))
        fail(DiskFull, QStringLiteral("cannot write: %1").arg(error));
}

QByteArrayView ReceiveSession::ackFor(quint16 block)
{
    ack_[0] = 0;
    ack_[1] = char(Opcode::Ack);
    ack_[2] = char(block >> 8);
    ack_[3] = char(block & 0xff);
    return QByteArrayView(ack_, sizeof ack_);
}

void ReceiveSession::acknowledgeLast()
{
    if (expectedBytes_ >= 0 && bytes() != expectedBytes_) {
        fail(IllegalOperation, QStringLiteral("received %1 bytes, announced %2").arg(bytes()).arg(expectedBytes_));
        return;
    }
    QString error;
    if (!sink_->commit(&error)) {
        sink_.reset();
        fail(DiskFull, QStringLiteral("cannot store the file: %1").arg(error));
        return;
    }
    sink_.reset();
    finalAck_ = encodeAck(quint16((expected_ - 1) & 0xffff));
    send(finalAck_);
    succeed(dallyMs_);
}

void ReceiveSession::fail(quint16 code, const QString& text)
{
    if (sink_) {
        sink_->discard();
        sink_.reset();
    }
    failLocal(code, text);
}

}  // namespace tarvo::tftp
