#pragma once

#include "datasink.h"
#include "options.h"
#include "session.h"

#include <functional>
#include <memory>

namespace tarvo::tftp {

// Receives DATA blocks into a sink, acknowledging each window (RFC 7440; a
// window of one is plain lock-step). The sink is committed before the last
// ACK goes out, so a sender that saw the last ACK knows the file is in place.
class ReceiveSession : public Session
{
    Q_OBJECT
public:
    using OackHandler = std::function<std::optional<TransferParameters>(const Packet& oack, QString* error)>;

    ReceiveSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                   const RetryPolicy& policy, std::unique_ptr<DataSink> sink,
                   QObject* parent = nullptr);
    ~ReceiveSession() override;

    // -1: no limit. More data than this ends the transfer with error 3.
    void setMaxBytes(qint64 maxBytes) { maxBytes_ = maxBytes; }
    // -1: none. The size a WRQ announced (tsize): the upload must be exactly this long.
    void setExpectedBytes(qint64 expected) { expectedBytes_ = expected; }
    // How long to stay after the last ACK to answer a repeated last block.
    void setDallyMs(int ms) { dallyMs_ = ms; }

    // Sends first (ACK 0, an OACK or an RRQ) and waits for DATA 1. A client
    // passes oackHandler to take an OACK (answered with ACK 0).
    void start(const QByteArray& first, const TransferParameters& parameters,
               OackHandler oackHandler = {});

protected:
    void handlePacket(const Packet& packet) override;
    bool handleBlock(Opcode opcode, quint16 block, QByteArrayView payload) override;
    void retransmit() override;
    void beforeFinished(const SessionResult& result) override;

private:
    void handleData(quint16 block, QByteArrayView data);
    void fail(quint16 code, const QString& text);
    void acknowledgeLast();
    // An ACK built in place: nothing is allocated per block.
    QByteArrayView ackFor(quint16 block);

    std::unique_ptr<DataSink> sink_;
    TransferParameters parameters_;
    OackHandler oackHandler_;
    bool awaitingFirst_ = true;
    bool oackTaken_ = false;
    qint64 expected_ = 1;       // next block wanted
    qint64 maxBytes_ = -1;
    qint64 expectedBytes_ = -1;
    int dallyMs_ = 0;
    bool nackSent_ = false;     // ACK of the last good block sent since progress
    QByteArray finalAck_;
    char ack_[4] = {};
};

}  // namespace tarvo::tftp
