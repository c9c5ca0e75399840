#pragma once

#include "datagramsocket.h"
#include "packet.h"
#include "retrypolicy.h"
#include "sessionresult.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

namespace tarvo::tftp {

// One transfer's socket and its peer: checks the peer's transfer id, keeps
// the last packet for retransmission and gives up after too many silences.
class Session : public QObject
{
    Q_OBJECT
public:
    // Big enough for the largest DATA packet; longer datagrams are cut and
    // then refused by the decoder.
    static constexpr qsizetype ReceiveBufferBytes = 65536 + 16;

    // The session owns socket. With peerLocked false the first reply from
    // peer's host (from any port) fixes the peer's port.
    Session(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
            const RetryPolicy& policy, QObject* parent = nullptr);
    ~Session() override;

    // Ends the transfer at once, telling the peer why.
    void abort(quint16 code, const QByteArray& text);
    bool isFinished() const { return finished_; }
    qint64 bytes() const { return bytes_; }
    QHostAddress peerAddress() const { return peer_.address(); }
    quint16 peerPort() const { return peer_.port(); }
    quint16 localPort() const;

signals:
    // Emitted once, when the outcome is known.
    void finished(const tftp::SessionResult& result);
    // Emitted once, after finished(), when the socket is no longer needed.
    void closed();

protected:
    virtual void handlePacket(const Packet& packet) = 0;
    // The per-packet path: a well-formed ACK or DATA from the peer, before
    // any decoding into a Packet. Returns false to have it decoded and
    // passed to handlePacket instead.
    virtual bool handleBlock(Opcode opcode, quint16 block, QByteArrayView payload)
    {
        Q_UNUSED(opcode);
        Q_UNUSED(block);
        Q_UNUSED(payload);
        return false;
    }
    // A silence: resend what the peer has not answered.
    virtual void retransmit();
    // Runs before finished() is emitted, so that whoever hears of the
    // outcome sees its effects done.
    virtual void beforeFinished(const SessionResult& result) { Q_UNUSED(result); }

    void send(QByteArrayView datagram);
    // Sends datagram, keeps it for retransmission and waits for progress.
    void sendAndWait(QByteArrayView datagram);
    // The peer made progress: the wait starts over at its first length.
    void progress();
    void restartWait();
    // A negotiated timeout option fixes the wait.
    void useFixedTimeout(int seconds);
    void addBytes(qint64 n) { bytes_ += n; }
    // How many datagrams the peer may send in a row before it waits for
    // an answer: read at most that many per wake-up.
    void setBurst(int datagrams) { burst_ = qMax(1, datagrams); }

    void succeed(int dallyMs = 0);
    void failLocal(quint16 code, const QString& text, bool tellPeer = true);
    void failByPeer(const Packet& error);
    void failMalformed(const QString& reason);
    bool isDallying() const { return dallying_; }

private:
    void readPending();
    void handleDatagram(QByteArrayView datagram, const Endpoint& from);
    void onTimeout();
    void finish(SessionResult result, int dallyMs);
    void close();
    // The wait, cut short where the silence would pass maxSilenceMs.
    qint64 nextWaitMs(qint64 now) const;

    DatagramSocket* socket_;
    Endpoint peer_;
    bool peerLocked_;
    RetryPolicy policy_;
    QTimer timer_;
    QTimer dallyTimer_;
    QElapsedTimer clock_;
    QByteArray lastSent_;
    QByteArray buffer_;
    double waitMs_;
    qint64 deadlineMs_ = 0;   // on clock_
    qint64 progressMs_ = 0;   // on clock_: the peer's last progress
    int silences_ = 0;
    int burst_ = 1;
    qint64 bytes_ = 0;
    bool finished_ = false;
    bool dallying_ = false;
    bool closed_ = false;
};

}  // namespace tarvo::tftp
