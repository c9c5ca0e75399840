#pragma once
// The network: the controller link's TCP socket, and the name lookup that
// leads to its address.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo::platform {

// The state of the controller link's socket. Every state between a
// connection attempt and its outcome reads Connecting.
enum class SocketState {
    Closed,
    Connecting,
    Connected,
    // The peer has closed its side; sends fail from now on.
    Closing,
    // The connection attempt failed; the socket stays so until closed.
    Failed,
};

// What went wrong on the socket, as far as the link cares.
enum class SocketError {
    AddressInUse,
    ConnectionRefused,
    HostNotFound,
    TimedOut,
    ConnectionReset,
    Other,
};

// A TCP client socket whose connection attempt runs in the background; its
// progress shows in state(), and data and errors arrive as events.
class TcpSocket {
public:
    virtual ~TcpSocket() = default;

    // The local port the next connection attempt binds to; 0 lets the
    // system choose.
    virtual void setLocalPort(int port) = 0;
    virtual int localPort() const = 0;

    // Starts a connection attempt and returns at once; failures arrive
    // through onError and leave the socket Failed.
    virtual void connectToHost(const QString& host, int port) = 0;
    // Synchronous: state() reads Closed afterwards.
    virtual void close() = 0;
    virtual SocketState state() const = 0;
    // The PC's own address of the connection, dotted.
    virtual QString localAddress() const = 0;
    // The controller's address of the connection, dotted.
    virtual QString peerAddress() const = 0;

    // Sends every byte or reports failure (false).
    virtual bool write(const QByteArray& data) = 0;
    // Everything received so far; nullopt when reading failed.
    virtual std::optional<QByteArray> readAll() = 0;

    std::function<void()> onReadyRead;
    std::function<void(SocketError error, const QString& description)> onError;
};

class Network {
public:
    virtual ~Network() = default;

    virtual std::unique_ptr<TcpSocket> createSocket() = 0;

    // The IPv4 address a controller's name leads to, dotted: a dotted
    // address itself at once; a host name as the system's resolver answers
    // it within timeoutMs, processing events meanwhile. Empty when there
    // is none (not found, only IPv6, no answer in time).
    virtual QString lookUpIPv4(const QString& name, int timeoutMs) = 0;
};

}  // namespace tarvo::platform
