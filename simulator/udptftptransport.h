#pragma once
// The controller's tftp over real UDP, on the project's TFTP client with
// the retry schedule of the controller's busybox client.

#include "simulator/tftptransport.h"

#include <QObject>

namespace simulator {

class UdpTftpTransport final : public QObject, public TftpTransport {
    Q_OBJECT
public:
    explicit UdpTftpTransport(QObject* parent = nullptr);

    void put(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             Done done) override;
    void get(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             Done done) override;
};

}  // namespace simulator
