#include "virtual_socket_adapter.h"

#include "virtual_platform.h"
#include "simulator/controllerengine.h"
#include "simulator/shellsession.h"

#include <memory>

namespace tarvo::simulator {

namespace {

// Owned by the socket's handlers: lives as long as the socket is scripted.
struct VirtualConnection {
    std::shared_ptr<ShellSession> session;
};

}  // namespace

void attachToVirtualSocket(platform::VirtualSocket& socket, ControllerEngine& engine)
{
    auto connection = std::make_shared<VirtualConnection>();
    ControllerEngine* e = &engine;

    socket.onConnectRequested = [connection, e](platform::VirtualSocket& sock) {
        const std::int64_t at = e->platform().nowMs() + e->controller().options.connectDelayMs;
        if (connection->session)
            connection->session->peerClosed();
        connection->session = nullptr;
        // Nothing listens on another port; nothing at all while the power is off.
        if (sock.remotePort() != e->controller().options.consolePort) {
            sock.failConnectAt(at, platform::SocketError::ConnectionRefused, QStringLiteral("Connection refused"));
            return;
        }
        connection->session = e->accept([&sock](const QByteArray& bytes) { sock.deliver(bytes); },
                                        [&sock, e] { sock.peerCloseAt(e->platform().nowMs()); },
                                        [&sock, e] {
                                            sock.raiseErrorAt(e->platform().nowMs(), platform::SocketError::ConnectionReset,
                                                              QStringLiteral("Connection reset by peer"));
                                        });
        if (!connection->session) {
            sock.failConnectAt(at, platform::SocketError::ConnectionRefused, QStringLiteral("Connection refused"));
            return;
        }
        sock.completeConnectAt(at);
    };
    socket.onPeerReceive = [connection](const QByteArray& bytes) {
        if (const auto session = connection->session)
            session->receive(bytes);
    };
    socket.onPeerClosed = [connection] {
        if (const auto session = connection->session)
            session->peerClosed();
    };
}

void attachToVirtualPlatform(platform::VirtualPlatform& platform, ControllerEngine& engine)
{
    ControllerEngine* e = &engine;
    platform.onSocketCreated = [e](platform::VirtualSocket& socket) { attachToVirtualSocket(socket, *e); };
}

}  // namespace tarvo::simulator
