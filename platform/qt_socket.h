#pragma once
// The controller link's socket on QTcpSocket, with the state numbers and
// error numbers the link expects.

#include "platform/platform.h"

#include <QTcpSocket>

namespace platform {

class QtSocket final : public TcpSocket {
public:
    QtSocket();
    ~QtSocket() override;

    void setRemoteHost(const QString& host) override { remoteHost_ = host; }
    void setRemotePort(int port) override { remotePort_ = port; }
    void setLocalPort(int port) override { localPort_ = port; }
    int localPort() const override { return localPort_; }
    void connectToHost() override;
    void close() override;
    int state() const override;
    QString localIP() const override;
    bool sendData(const QByteArray& data) override;
    std::optional<QByteArray> getData() override;

    // Maps a Qt socket error to the link's error numbers.
    static int errorNumber(QAbstractSocket::SocketError error);

private:
    void reportError(int number, const QString& description);
    QTcpSocket socket_;
    QString remoteHost_;
    int remotePort_ = 0;
    int localPort_ = 0;
    bool errorState_ = false;
    bool peerClosed_ = false;
};

}  // namespace platform
