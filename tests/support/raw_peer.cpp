#include "raw_peer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

RawPeer::RawPeer(const QHostAddress& local)
{
    socket_.bind(local, 0);
}

void RawPeer::sendTo(quint16 port, const QByteArray& datagram)
{
    socket_.writeDatagram(datagram, QHostAddress::LocalHost, port);
}

QByteArray RawPeer::receive(int timeoutMs, quint16* fromPort)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!socket_.hasPendingDatagrams()) {
        if (deadline.hasExpired())
            return {};
        // Lets an in-process server run while we wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        socket_.waitForReadyRead(5);
    }
    QByteArray d(int(socket_.pendingDatagramSize()), Qt::Uninitialized);
    QHostAddress from;
    quint16 port = 0;
    socket_.readDatagram(d.data(), d.size(), &from, &port);
    if (fromPort)
        *fromPort = port;
    return d;
}
