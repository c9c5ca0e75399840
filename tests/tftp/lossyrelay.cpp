#include "lossyrelay.h"

#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

LossyRelay::LossyRelay(quint16 serverPort, quint32 seed, const Faults& faults, QObject* parent)
    : QObject(parent), m_front(new QUdpSocket(this)), m_serverPort(serverPort), m_faults(faults), m_random(seed)
{
    m_front->bind(QHostAddress::LocalHost, 0);
    connect(m_front, &QUdpSocket::readyRead, this, &LossyRelay::fromClients);
}

quint16 LossyRelay::port() const
{
    return m_front->localPort();
}

void LossyRelay::fromClients()
{
    while (m_front->hasPendingDatagrams()) {
        QByteArray d(int(m_front->pendingDatagramSize()), Qt::Uninitialized);
        QHostAddress from;
        quint16 fromPort = 0;
        m_front->readDatagram(d.data(), d.size(), &from, &fromPort);
        Upstream*& up = m_upstreams[fromPort];
        if (!up) {
            up = new Upstream;
            up->socket = new QUdpSocket(this);
            up->socket->bind(QHostAddress::LocalHost, 0);
            up->clientPort = fromPort;
            up->serverPort = m_serverPort;
            Upstream* raw = up;
            connect(up->socket, &QUdpSocket::readyRead, this, [this, raw] { fromServer(raw); });
        }
        // Requests always go to the request port, as a client sends them.
        const bool request = d.size() >= 2 && d[0] == 0 && (d[1] == 1 || d[1] == 2);
        deliver(up->socket, d, request ? m_serverPort : up->serverPort);
    }
}

void LossyRelay::fromServer(Upstream* up)
{
    while (up->socket->hasPendingDatagrams()) {
        QByteArray d(int(up->socket->pendingDatagramSize()), Qt::Uninitialized);
        QHostAddress from;
        quint16 fromPort = 0;
        up->socket->readDatagram(d.data(), d.size(), &from, &fromPort);
        up->serverPort = fromPort;  // the transfer's port from now on
        deliver(m_front, d, up->clientPort);
    }
}

void LossyRelay::deliver(QUdpSocket* via, const QByteArray& datagram, quint16 toPort)
{
    if (int(m_random.bounded(100)) < m_faults.dropPercent) {
        ++m_dropped;
        return;
    }
    int copies = 1;
    if (int(m_random.bounded(100)) < m_faults.duplicatePercent) {
        ++m_duplicated;
        copies = 2;
    }
    for (int i = 0; i < copies; ++i) {
        if (int(m_random.bounded(100)) < m_faults.delayPercent) {
            ++m_delayed;
            QPointer<QUdpSocket> guard(via);
            QTimer::singleShot(int(m_random.bounded(m_faults.maxDelayMs)) + 1, this, [guard, datagram, toPort] {
                if (guard)
                    guard->writeDatagram(datagram, QHostAddress::LocalHost, toPort);
            });
        } else {
            via->writeDatagram(datagram, QHostAddress::LocalHost, toPort);
        }
    }
}
