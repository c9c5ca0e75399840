#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QUdpSocket>

// A hand-driven TFTP peer (on 127.0.0.1 unless told otherwise) for sending exactly the bytes a test
// wants and looking at exactly the bytes that come back.
class RawPeer
{
public:
    explicit RawPeer(const QHostAddress& local = QHostAddress(QHostAddress::LocalHost));
    quint16 port() const { return socket_.localPort(); }
    void sendTo(quint16 port, const QByteArray& datagram);
    // The next datagram within timeoutMs; empty if none. fromPort gets the sender's port.
    QByteArray receive(int timeoutMs = 2000, quint16* fromPort = nullptr);

private:
    QUdpSocket socket_;
};
