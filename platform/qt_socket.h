#pragma once
// The controller link's socket on QTcpSocket.

#include "platform/network.h"

#include <QTcpSocket>

namespace tarvo::platform {

class QtSocket final : public TcpSocket {
public:
    QtSocket();
    ~QtSocket() override;

    void setLocalPort(int port) override { localPort_ = port; }
    int localPort() const override { return localPort_; }
    void connectToHost(const QString& host, int port) override;
    void close() override;
    SocketState state() const override;
    QString localAddress() const override;
    QString peerAddress() const override;
    bool write(const QByteArray& data) override;
    std::optional<QByteArray> readAll() override;

    static SocketError errorFrom(QAbstractSocket::SocketError error);

private:
    void reportError(SocketError error, const QString& description);
    QTcpSocket socket_;
    int localPort_ = 0;
    bool failed_ = false;
    bool peerClosed_ = false;
};

}  // namespace tarvo::platform
