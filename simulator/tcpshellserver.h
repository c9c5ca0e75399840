#pragma once
// The controller's console port on a real TCP socket. While the controller
// is off or still booting the port is closed, so connection attempts are
// refused as they are by a real one.

#include <QHostAddress>
#include <QObject>

#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace tarvo::simulator {

class ControllerEngine;
class ShellSession;

class TcpShellServer : public QObject {
    Q_OBJECT
public:
    TcpShellServer(ControllerEngine& engine, QObject* parent = nullptr);
    ~TcpShellServer() override;

    // Port 0 picks a free port; port() then tells which.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return port_; }
    QString errorString() const;

private:
    void onNewConnection();
    void onAcceptingChanged(bool accepting);

    ControllerEngine& engine_;
    QTcpServer* server_;
    QHostAddress address_;
    quint16 port_ = 0;
    std::map<QTcpSocket*, std::shared_ptr<ShellSession>> sessions_;
};

}  // namespace tarvo::simulator
