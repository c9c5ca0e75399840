#pragma once

#include "datagramsocket.h"
#include "packet.h"
#include "retrypolicy.h"
#include "sessionresult.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

namespace tftp {

// One transfer's socket and its peer: checks the peer's transfer id, keeps
// the last packet for retransmission and gives up after too many silences.
class Session : public QObject
{
    Q_OBJECT
public:
    // The session owns socket. With peerLocked false the first reply from
    // peer's host (from any port) fixes the peer's port.
    Session(DatagramSocket* socket, const QHostAddress& peer, quint16 peerPort, bool peerLocked,
            const RetryPolicy& policy, QObject* parent = nullptr);
    ~Session() override;

    // Ends the transfer at once, telling the peer why.
    void abort(quint16 code, const QByteArray& text);
    bool isFinished() const { return m_finished; }
    qint64 bytes() const { return m_bytes; }
    QHostAddress peerAddress() const { return m_peer.address(); }
    quint16 peerPort() const { return m_peer.port(); }
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
    void sendAndWait(const QByteArray& datagram);
    // The peer made progress: the wait starts over at its first length.
    void progress();
    void restartWait();
    // A negotiated timeout option fixes the wait.
    void useFixedTimeout(int seconds);
    void addBytes(qint64 n) { m_bytes += n; }

    void succeed(int dallyMs = 0);
    void failLocal(quint16 code, const QString& text, bool tellPeer = true);
    void failByPeer(const Packet& error);
    void failMalformed(const QString& reason);
    bool isDallying() const { return m_dallying; }

private:
    void readPending();
    void handleDatagram(QByteArrayView datagram, const Endpoint& from);
    void onTimeout();
    void finish(SessionResult result, int dallyMs);
    void close();

    DatagramSocket* m_socket;
    Endpoint m_peer;
    bool m_peerLocked;
    RetryPolicy m_policy;
    QTimer m_timer;
    QTimer m_dallyTimer;
    QElapsedTimer m_clock;
    QByteArray m_lastSent;
    QByteArray m_buffer;
    double m_waitMs;
    qint64 m_deadlineMs = 0;   // on m_clock
    int m_silences = 0;
    qint64 m_bytes = 0;
    bool m_finished = false;
    bool m_dallying = false;
    bool m_closed = false;
};

} // namespace tftp
