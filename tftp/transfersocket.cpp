#include "transfersocket.h"

#include <QUdpSocket>
#include <QVariant>

namespace tftp {

namespace {
// Room for a whole window of large blocks arriving while we are busy.
constexpr int SocketBufferBytes = 1 << 20;
}

QUdpSocket* openTransferSocket(const QHostAddress& local, const QHostAddress& peer, QString* error)
{
    QHostAddress bindTo = local;
    if (bindTo.isNull() || bindTo == QHostAddress::Any || bindTo == QHostAddress::AnyIPv4
        || bindTo == QHostAddress::AnyIPv6) {
        bool isV4 = false;
        peer.toIPv4Address(&isV4);
        bindTo = isV4 ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(QHostAddress::AnyIPv6);
    }
    auto* socket = new QUdpSocket;
    if (!socket->bind(bindTo, 0)) {
        *error = socket->errorString();
        delete socket;
        return nullptr;
    }
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, SocketBufferBytes);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SocketBufferBytes);
    return socket;
}

} // namespace tftp
