#include "virtual_network.h"

#include <algorithm>

namespace tarvo::platform {

VirtualSocket::VirtualSocket(VirtualNetwork& network) : network_(network), loop_(network.loop())
{
    network_.sockets.push_back(this);
}

VirtualSocket::~VirtualSocket()
{
    for (auto id : scheduled_)
        loop_.cancel(id);
    auto& v = network_.sockets;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void VirtualSocket::scheduleForThisConnection(std::int64_t atMs, std::function<void()> fn)
{
    const auto gen = generation_;
    // Forget the events that have run, so that a long-lived socket's list
    // does not grow.
    if (scheduled_.size() >= 64)
        scheduled_.erase(std::remove_if(scheduled_.begin(), scheduled_.end(),
                                        [this](std::uint64_t id) { return !loop_.isPending(id); }),
                         scheduled_.end());
    scheduled_.push_back(loop_.scheduleAt(atMs, [this, gen, fn = std::move(fn)] {
        if (gen == generation_)
            fn();
    }));
}

void VirtualSocket::connectToHost(const QString& host, int port)
{
    remoteHost_ = host;
    remotePort_ = port;
    ++connectAttempts_;
    state_ = SocketState::Connecting;
    if (onConnectRequested)
        onConnectRequested(*this);
    else
        completeConnectAt(loop_.nowMs() + connectDelayMs);
}

void VirtualSocket::close()
{
    ++closeCalls_;
    const bool wasOpen = state_ == SocketState::Connected || state_ == SocketState::Closing;
    state_ = SocketState::Closed;
    ++generation_;
    pending_.clear();
    if (wasOpen && onPeerClosed)
        onPeerClosed();
}

bool VirtualSocket::write(const QByteArray& data)
{
    if (failSends || state_ != SocketState::Connected)
        return false;
    sent += data;
    sends.push_back({loop_.nowMs(), data});
    if (onPeerReceive)
        onPeerReceive(data);
    return true;
}

std::optional<QByteArray> VirtualSocket::readAll()
{
    if (failReads)
        return std::nullopt;
    QByteArray out;
    out.swap(pending_);
    return out;
}

void VirtualSocket::completeConnectAt(std::int64_t atMs)
{
    scheduleForThisConnection(atMs, [this] {
        if (state_ == SocketState::Connecting)
            state_ = SocketState::Connected;
    });
}

void VirtualSocket::failConnectAt(std::int64_t atMs, SocketError error, const QString& description)
{
    scheduleForThisConnection(atMs, [this, error, description] {
        state_ = SocketState::Failed;
        if (onError)
            onError(error, description);
    });
}

void VirtualSocket::raiseErrorAt(std::int64_t atMs, SocketError error, const QString& description)
{
    scheduleForThisConnection(atMs, [this, error, description] {
        if (onError)
            onError(error, description);
    });
}

void VirtualSocket::deliverAt(std::int64_t atMs, const QByteArray& data)
{
    scheduleForThisConnection(atMs, [this, data] {
        if (state_ != SocketState::Connected)
            return;  // nothing arrives on a socket that is not open
        pending_ += data;
        if (onReadyRead)
            onReadyRead();
    });
}

void VirtualSocket::deliver(const QByteArray& data)
{
    deliverAt(loop_.nowMs(), data);
}

void VirtualSocket::peerCloseAt(std::int64_t atMs)
{
    scheduleForThisConnection(atMs, [this] {
        if (state_ == SocketState::Connected)
            state_ = SocketState::Closing;  // sends fail from now on
    });
}

std::unique_ptr<TcpSocket> VirtualNetwork::createSocket()
{
    auto s = std::make_unique<VirtualSocket>(*this);
    if (onSocketCreated)
        onSocketCreated(*s);
    return s;
}

QString VirtualNetwork::lookUpIPv4(const QString& name, int timeoutMs)
{
    Q_UNUSED(timeoutMs);
    hostLookups += name;
    const QStringList octets = name.split(QLatin1Char('.'));
    bool dotted = octets.size() == 4;
    for (const QString& octet : octets) {
        bool number = false;
        dotted = dotted && octet.toInt(&number) <= 255 && number;
    }
    return dotted ? name : hostAddresses.value(name.toLower());
}

}  // namespace tarvo::platform
