#include "datagramsocket.h"

#include <QEvent>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
// Without this, an ICMP "port unreachable" for an earlier send makes the
// next receive fail on Windows.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace tarvo::tftp {

namespace {
// Room for a whole window of large blocks arriving while we are busy.
constexpr int SocketBufferBytes = 1 << 20;

static_assert(sizeof(Endpoint::storage) >= sizeof(sockaddr_storage));

const sockaddr* asAddress(const Endpoint& e)
{
    return reinterpret_cast<const sockaddr*>(e.storage);
}

QString lastError()
{
#ifdef Q_OS_WIN
    return QStringLiteral("socket error %1").arg(WSAGetLastError());
#else
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

void closeDescriptor(qintptr fd)
{
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(fd));
#else
    ::close(int(fd));
#endif
}

bool makeNonBlocking(qintptr fd)
{
#ifdef Q_OS_WIN
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(SOCKET(fd), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    u_long on = 1;
    return ::ioctlsocket(SOCKET(fd), FIONBIO, &on) == 0;
#else
    return ::fcntl(int(fd), F_SETFL, ::fcntl(int(fd), F_GETFL) | O_NONBLOCK) == 0
           && ::fcntl(int(fd), F_SETFD, FD_CLOEXEC) == 0;
#endif
}
} // namespace

Endpoint Endpoint::from(const QHostAddress& address, quint16 port)
{
    Endpoint e;
    // Qt converts "::" to 0.0.0.0 as well; only real IPv4 and v4-mapped
    // addresses take the IPv4 form here.
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (address.protocol() != QAbstractSocket::IPv4Protocol && address == QHostAddress(QHostAddress::AnyIPv6))
        isV4 = false;
    if (isV4) {
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(v4);
        std::memcpy(e.storage, &a, sizeof a);
        e.length = int(sizeof a);
        return e;
    }
    sockaddr_in6 a = {};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    std::memcpy(&a.sin6_addr, v6.c, sizeof v6.c);
    bool numeric = false;
    a.sin6_scope_id = address.scopeId().toUInt(&numeric);
#ifndef Q_OS_WIN
    if (!numeric && !address.scopeId().isEmpty())
        a.sin6_scope_id = ::if_nametoindex(address.scopeId().toLatin1().constData());
#endif
    std::memcpy(e.storage, &a, sizeof a);
    e.length = int(sizeof a);
    return e;
}

QHostAddress Endpoint::address() const
{
    QHostAddress a(asAddress(*this));
    bool isV4 = false;
    const quint32 v4 = a.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : a;
}

quint16 Endpoint::port() const
{
    if (asAddress(*this)->sa_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(storage)->sin_port);
    return ntohs(reinterpret_cast<const sockaddr_in6*>(storage)->sin6_port);
}

bool Endpoint::sameHost(const Endpoint& other) const
{
    const int family = asAddress(*this)->sa_family;
    if (family != asAddress(other)->sa_family)
        return address() == other.address();
    if (family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(storage)->sin_addr.s_addr
               == reinterpret_cast<const sockaddr_in*>(other.storage)->sin_addr.s_addr;
    }
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(storage)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(other.storage)->sin6_addr, sizeof(in6_addr))
           == 0;
}

bool Endpoint::operator==(const Endpoint& other) const
{
    return sameHost(other) && port() == other.port();
}

DatagramSocket* DatagramSocket::open(const QHostAddress& local, quint16 port, QString* error)
{
#ifdef Q_OS_WIN
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
#endif
    const Endpoint bindTo = Endpoint::from(local, port);
    const int family = asAddress(bindTo)->sa_family;
    const qintptr fd = qintptr(::socket(family, SOCK_DGRAM, 0));
#ifdef Q_OS_WIN
    if (SOCKET(fd) == INVALID_SOCKET) {
#else
    if (fd < 0) {
#endif
        *error = lastError();
        return nullptr;
    }
    const int size = SocketBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    if (!makeNonBlocking(fd) || ::bind(fd, asAddress(bindTo), SocketLength(bindTo.length)) != 0) {
        *error = lastError();
        closeDescriptor(fd);
        return nullptr;
    }
    Endpoint bound;
    SocketLength length = sizeof bound.storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(bound.storage), &length);
    bound.length = int(length);
    return new DatagramSocket(fd, bound.port());
}

// Hands the event loop's "readable" straight to the socket's handler: the
// activated() signal and a signal of our own on top of it cost more than
// the rest of a lock-step packet's way through this program.
class DatagramSocket::Notifier : public QSocketNotifier
{
public:
    Notifier(qintptr descriptor, DatagramSocket* socket)
        : QSocketNotifier(descriptor, QSocketNotifier::Read, socket), socket_(socket)
    {
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::SockAct && e->type() != QEvent::SockClose)
            return QSocketNotifier::event(e);
        if (socket_->readHandler_)
            socket_->readHandler_();
        return true;
    }

private:
    DatagramSocket* socket_;
};

DatagramSocket::DatagramSocket(qintptr descriptor, quint16 localPort)
    : descriptor_(descriptor),
      localPort_(localPort),
      notifier_(new Notifier(descriptor, this))
{
}

DatagramSocket::~DatagramSocket()
{
    close();
}

qint64 DatagramSocket::receive(char* buffer, qint64 size, Endpoint* from)
{
    if (descriptor_ < 0)
        return -1;
    SocketLength length = sizeof from->storage;
#ifdef Q_OS_WIN
    const int n = ::recvfrom(SOCKET(descriptor_), buffer, int(size), 0,
                             reinterpret_cast<sockaddr*>(from->storage), &length);
    // A datagram too big for the buffer arrives cut, as on POSIX.
    if (n < 0 && WSAGetLastError() == WSAEMSGSIZE) {
        from->length = int(length);
        return size;
    }
#else
    ssize_t n;
    do {
        n = ::recvfrom(int(descriptor_), buffer, size_t(size), 0, reinterpret_cast<sockaddr*>(from->storage),
                       &length);
    } while (n < 0 && errno == EINTR);
#endif
    if (n < 0)
        return -1;
    from->length = int(length);
    return qint64(n);
}

void DatagramSocket::send(const char* data, qint64 size, const Endpoint& to)
{
    if (descriptor_ < 0)
        return;
    // Lost sends are the protocol's business: it retransmits.
#ifdef Q_OS_WIN
    ::sendto(SOCKET(descriptor_), data, int(size), 0, asAddress(to), to.length);
#else
    ssize_t n;
    do {
        n = ::sendto(int(descriptor_), data, size_t(size), 0, asAddress(to), SocketLength(to.length));
    } while (n < 0 && errno == EINTR);
#endif
}

void DatagramSocket::close()
{
    if (descriptor_ < 0)
        return;
    notifier_->setEnabled(false);
    closeDescriptor(descriptor_);
    descriptor_ = -1;
}

}  // namespace tarvo::tftp
