#pragma once
// The controller's tftp over real UDP, on the project's TFTP sessions with
// the retry schedule of the controller's busybox client. Its socket is
// bound to the controller's own address, so that a PC-side server tells
// simulated controllers apart by their address.

#include "simulator/tftptransport.h"

#include <QHostAddress>
#include <QObject>

namespace tarvo::simulator {

class UdpTftpTransport final : public QObject, public TftpTransport {
    Q_OBJECT
public:
    // local: the address transfers are sent from; null picks the wildcard.
    explicit UdpTftpTransport(const QHostAddress& local = {}, QObject* parent = nullptr);

    void put(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             qint64 sendBytes, const TftpPace& pace, Done done) override;
    void get(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             const TftpPace& pace, Done done) override;

private:
    QHostAddress local_;
};

}  // namespace tarvo::simulator
