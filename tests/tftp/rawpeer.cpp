#include "rawpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

RawPeer::RawPeer()
{
    m_socket.bind(QHostAddress::LocalHost, 0);
}

void RawPeer::sendTo(quint16 port, const QByteArray& datagram)
{
    m_socket.writeDatagram(datagram, QHostAddress::LocalHost, port);
}

QByteArray RawPeer::receive(int timeoutMs, quint16* fromPort)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_socket.hasPendingDatagrams()) {
        if (deadline.hasExpired())
            return {};
        // Lets an in-process server run while we wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        m_socket.waitForReadyRead(5);
    }
    QByteArray d(int(m_socket.pendingDatagramSize()), Qt::Uninitialized);
    QHostAddress from;
    quint16 port = 0;
    m_socket.readDatagram(d.data(), d.size(), &from, &port);
    if (fromPort)
        *fromPort = port;
    return d;
}
