#include "lossy_relay.h"

#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

LossyRelay::LossyRelay(quint16 serverPort, quint32 seed, const Faults& faults, QObject* parent)
    : QObject(parent), front_(new QUdpSocket(this)), serverPort_(serverPort), faults_(faults), random_(seed)
{
    front_->bind(QHostAddress::LocalHost, 0);
    connect(front_, &QUdpSocket::readyRead, this, &LossyRelay::fromClients);
}

quint16 LossyRelay::port() const
{
    return front_->localPort();
}

void LossyRelay::fromClients()
{
    while (front_->hasPendingDatagrams()) {
        QByteArray d(int(front_->pendingDatagramSize()), Qt::Uninitialized);
        QHostAddress from;
        quint16 fromPort = 0;
        front_->readDatagram(d.data(), d.size(), &from, &fromPort);
        Upstream*& up = upstreams_[fromPort];
        if (!up) {
            up = new Upstream;
            up->socket = new QUdpSocket(this);
            up->socket->bind(QHostAddress::LocalHost, 0);
            up->clientPort = fromPort;
            up->serverPort = serverPort_;
            Upstream* raw = up;
            connect(up->socket, &QUdpSocket::readyRead, this, [this, raw] { fromServer(raw); });
        }
        // Requests always go to the request port, as a client sends them.
        const bool request = d.size() >= 2 && d[0] == 0 && (d[1] == 1 || d[1] == 2);
        deliver(up->socket, d, request ? serverPort_ : up->serverPort);
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
        deliver(front_, d, up->clientPort);
    }
}

void LossyRelay::deliver(QUdpSocket* via, const QByteArray& datagram, quint16 toPort)
{
    if (int(random_.bounded(100)) < faults_.dropPercent) {
        ++dropped_;
        return;
    }
    int copies = 1;
    if (int(random_.bounded(100)) < faults_.duplicatePercent) {
        ++duplicated_;
        copies = 2;
    }
    for (int i = 0; i < copies; ++i) {
        if (int(random_.bounded(100)) < faults_.delayPercent) {
            ++delayed_;
            QPointer<QUdpSocket> guard(via);
            QTimer::singleShot(int(random_.bounded(faults_.maxDelayMs)) + 1, this, [guard, datagram, toPort] {
                if (guard)
                    guard->writeDatagram(datagram, QHostAddress::LocalHost, toPort);
            });
        } else {
            via->writeDatagram(datagram, QHostAddress::LocalHost, toPort);
        }
    }
}
