#pragma once
// Sits between the controller's TFTP session and the PC's server and makes
// the transfer as slow as the controller's link: file bytes cross at a set
// rate (DATA held back on a put, ACKs on a get), or stop crossing halfway
// for a tftp that hangs. The server sees the relay's socket on the
// controller's own address, as it would see the session's.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <deque>

namespace tarvo::simulator {

class PacedRelay final : public QObject {
    Q_OBJECT
public:
    // local: the controller's address (null: loopback inside, wildcard
    // outside). bytesPerSecond 0: no pacing. stallAfter >= 0: after that
    // many file bytes nothing crosses any more; a get with stallAfter < 0 is
    // given half of the size the server announces.
    PacedRelay(const QHostAddress& local, const QHostAddress& server, quint16 serverPort, qint64 bytesPerSecond,
               bool stallHalfway, qint64 putSize, QObject* parent = nullptr);

    bool isOpen() const { return open_; }
    // Where the session sends to, in place of the server.
    QHostAddress innerAddress() const { return inner_.localAddress(); }
    quint16 innerPort() const { return inner_.localPort(); }
    bool stalled() const { return stalled_; }

private:
    void fromSession();
    void fromServer();
    void release();
    // Counts file bytes that crossed; returns false once the relay stalls.
    bool cross(const QByteArray& datagram);
    void pace(const QByteArray& datagram);

    QUdpSocket inner_;
    QUdpSocket outer_;
    QHostAddress server_;
    quint16 serverPort_;
    QHostAddress session_;
    quint16 sessionPort_ = 0;
    bool open_ = false;
    qint64 rate_;
    bool stallHalfway_;
    qint64 stallAfter_;
    qint64 crossed_ = 0;
    bool stalled_ = false;
    QElapsedTimer clock_;
    qint64 nextFreeUs_ = 0;
    std::deque<QByteArray> queue_;
    bool releasing_ = false;
};

}  // namespace tarvo::simulator
