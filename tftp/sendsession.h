#pragma once

#include "blockreader.h"
#include "options.h"
#include "session.h"

#include <QList>

#include <functional>
#include <memory>

class QIODevice;

namespace tarvo::tftp {

// What a sending transfer may hold beyond its window, read while the peer is busy.
constexpr qsizetype SendAheadBytes = 64 * 1024;

// Sends a file as DATA blocks, a window at a time (RFC 7440; a window of one
// is plain RFC 1350 lock-step). Only an ACK that moves forward sends anything
// new: duplicate ACKs are ignored, so no Sorcerer's Apprentice doubling.
class SendSession : public Session
{
    Q_OBJECT
public:
    // Checks an OACK (client side); nullopt refuses it with error 8.
    using OackHandler = std::function<std::optional<TransferParameters>(const Packet& oack, QString* error)>;

    SendSession(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
                const RetryPolicy& policy, std::unique_ptr<QIODevice> source, Mode mode,
                QObject* parent = nullptr);
    ~SendSession() override;

    // Sends the first window at once (a server answering an RRQ without options).
    void startSending(const TransferParameters& parameters);
    // Sends first (an OACK or a WRQ) and starts on ACK 0, or on an OACK
    // accepted by oackHandler.
    void startWithHandshake(const QByteArray& first, const TransferParameters& parameters,
                            OackHandler oackHandler = {});

protected:
    void handlePacket(const Packet& packet) override;
    bool handleBlock(Opcode opcode, quint16 block, QByteArrayView payload) override;
    void retransmit() override;

private:
    void begin(const TransferParameters& parameters);
    void handleAck(quint16 block);
    bool readAhead(qsizetype blocks);
    qsizetype readAheadBlocks() const;
    void sendWindow();

    // The i-th packet from base_ on.
    const char* packet(qsizetype i) const { return ring_.constData() + slotOf(i) * slotBytes_; }
    qsizetype packetSize(qsizetype i) const { return sizes_[slotOf(i)]; }
    qsizetype slotOf(qsizetype i) const { return (head_ + i) % slots_; }
    void sendPackets(qsizetype count);

    std::unique_ptr<QIODevice> source_;
    BlockReader reader_;
    TransferParameters parameters_;
    OackHandler oackHandler_;
    bool handshake_ = false;
    qint64 base_ = 1;             // first block not yet acknowledged
    // DATA packets base_, base_ + 1, ... (a window and some read ahead) in
    // a ring of slots of one buffer, made once: a block costs no
    // allocation and moves nothing.
    QByteArray ring_;
    QList<qsizetype> sizes_;      // each slot's packet size
    qsizetype slots_ = 1;
    qsizetype slotBytes_ = 0;
    qsizetype head_ = 0;          // the slot of base_
    qsizetype count_ = 0;         // packets in the ring
    qsizetype sent_ = 0;          // how many of them went out
    bool lastRead_ = false;       // the short last block is in the ring
};

}  // namespace tarvo::tftp
