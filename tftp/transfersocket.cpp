#include "transfersocket.h"


namespace tarvo::tftp {

DatagramSocket* openTransferSocket(const QHostAddress& local, const QHostAddress& peer, QString* error)
{
    QHostAddress bindTo = local;
    if (bindTo.isNull() || bindTo == QHostAddress::Any || bindTo == QHostAddress::AnyIPv4
        || bindTo == QHostAddress::AnyIPv6) {
        bool isV4 = false;
        peer.toIPv4Address(&isV4);
        bindTo = isV4 ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(QHostAddress::AnyIPv6);
    }
    return DatagramSocket::open(bindTo, 0, error);
}

}  // namespace tarvo::tftp
