#include "simulator/tcpshellserver.h"

#include "simulator/controllerengine.h"
#include "simulator/shellsession.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace tarvo::simulator {

TcpShellServer::TcpShellServer(ControllerEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, &TcpShellServer::onNewConnection);
    connect(&engine_, &ControllerEngine::acceptingChanged, this, &TcpShellServer::onAcceptingChanged);
}

TcpShellServer::~TcpShellServer()
{
    for (auto& [socket, session] : sessions_) {
        socket->disconnect(this);
        session->peerClosed();
    }
}

bool TcpShellServer::listen(const QHostAddress& address, quint16 port)
{
    address_ = address;
    if (!server_->listen(address, port))
        return false;
    port_ = server_->serverPort();
    if (!engine_.isAccepting())
        server_->close();
    return true;
}

QString TcpShellServer::errorString() const
{
    return server_->errorString();
}

void TcpShellServer::onAcceptingChanged(bool accepting)
{
    if (accepting) {
        if (!server_->isListening() && port_ != 0)
            server_->listen(address_, port_);
    } else {
        server_->close();
    }
}

void TcpShellServer::onNewConnection()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        QPointer<QTcpSocket> guard(socket);
        auto session = engine_.accept(
            [guard](const QByteArray& bytes) {
                if (guard)
                    guard->write(bytes);
            },
            [guard] {
                if (guard)
                    guard->disconnectFromHost();
            },
            [guard] {
                if (!guard)
                    return;
                // No lingering: closing sends a reset instead of a FIN.
                guard->flush();
                const linger noLinger{1, 0};
#ifdef Q_OS_WIN
                ::setsockopt(SOCKET(guard->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                             reinterpret_cast<const char*>(&noLinger), sizeof noLinger);
#else
                ::setsockopt(int(guard->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
                guard->abort();
            });
        if (!session) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        sessions_[socket] = session;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const auto it = sessions_.find(socket);
            if (it != sessions_.end()) {
                const auto keep = it->second;
                keep->receive(socket->readAll());
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            const auto it = sessions_.find(socket);
            if (it != sessions_.end()) {
                const auto keep = it->second;
                sessions_.erase(it);
                keep->peerClosed();
            }
            socket->deleteLater();
        });
    }
}

}  // namespace tarvo::simulator
