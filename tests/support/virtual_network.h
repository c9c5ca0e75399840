#pragma once
// The virtual network: sockets scriptable from the test (or from an
// in-process peer such as the controller simulator), and name lookups
// from a table, all on the virtual event loop's clock.

#include "platform/network.h"
#include "virtual_event_loop.h"

#include <QMap>
#include <QStringList>

#include <vector>

namespace tarvo::platform {

class VirtualNetwork;

class VirtualSocket final : public TcpSocket {
public:
    explicit VirtualSocket(VirtualNetwork& network);
    ~VirtualSocket() override;

    // --- the tool's side (TcpSocket) ---
    void setLocalPort(int port) override { localPort_ = port; }
    int localPort() const override { return localPort_; }
    void connectToHost(const QString& host, int port) override;
    void close() override;
    SocketState state() const override { return state_; }
    QString localAddress() const override { return localAddressValue; }
    QString peerAddress() const override { return remoteHost_; }
    bool write(const QByteArray& data) override;
    std::optional<QByteArray> readAll() override;

    // --- the script's side ---
    QString remoteHost() const { return remoteHost_; }
    int remotePort() const { return remotePort_; }
    int connectAttempts() const { return connectAttempts_; }
    int closeCalls() const { return closeCalls_; }

    // Everything the tool sent on this socket, and each send with its time.
    QByteArray sent;
    struct Send {
        std::int64_t atMs;
        QByteArray data;
    };
    std::vector<Send> sends;

    // What happens on connectToHost(). The default completes the
    // connection connectDelayMs later. A handler may instead call
    // completeConnectAt / failConnectAt / raiseErrorAt, or nothing at all
    // (an unreachable host).
    std::function<void(VirtualSocket&)> onConnectRequested;
    int connectDelayMs = 1;

    // Called (synchronously) for every successful send; a peer answers by
    // scheduling deliveries.
    std::function<void(const QByteArray&)> onPeerReceive;
    // Called when the tool closes an open connection.
    std::function<void()> onPeerClosed;

    void completeConnectAt(std::int64_t atMs);
    void failConnectAt(std::int64_t atMs, SocketError error, const QString& description);
    void raiseErrorAt(std::int64_t atMs, SocketError error, const QString& description);
    // Makes bytes arrive at the tool at the given time (or now); a
    // ready-read event follows in the pump at that time.
    void deliverAt(std::int64_t atMs, const QByteArray& data);
    void deliver(const QByteArray& data);
    // The peer closes the connection: later sends still "succeed" as on a
    // half-closed TCP socket until failSends is set.
    void peerCloseAt(std::int64_t atMs);

    bool failSends = false;
    bool failReads = false;
    QString localAddressValue = QStringLiteral("192.168.100.10");

private:
    VirtualNetwork& network_;
    VirtualEventLoop& loop_;
    QString remoteHost_;
    int remotePort_ = 0;
    int localPort_ = 0;
    SocketState state_ = SocketState::Closed;
    QByteArray pending_;
    int connectAttempts_ = 0;
    int closeCalls_ = 0;
    std::uint64_t generation_ = 0;  // bumps on close; stale events are dropped
    std::vector<std::uint64_t> scheduled_;
    void scheduleForThisConnection(std::int64_t atMs, std::function<void()> fn);
};

class VirtualNetwork : public Network {
public:
    explicit VirtualNetwork(VirtualEventLoop& loop) : loop_(loop) {}

    std::unique_ptr<TcpSocket> createSocket() override;
    QString lookUpIPv4(const QString& name, int timeoutMs) override;

    VirtualEventLoop& loop() { return loop_; }

    // --- sockets ---
    std::vector<VirtualSocket*> sockets;  // live sockets, in creation order
    // Called for every new socket, so a test or peer can script it.
    std::function<void(VirtualSocket&)> onSocketCreated;

    // --- name lookups ---
    // The IPv4 address of each host name (lower case); a dotted address
    // reads as itself, any other name is not found. Answers at once.
    QMap<QString, QString> hostAddresses;
    // The names asked for, in order.
    QStringList hostLookups;

private:
    VirtualEventLoop& loop_;
};

}  // namespace tarvo::platform
