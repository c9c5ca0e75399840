#include "platform/qt_socket.h"

#include <QHostAddress>
#include <QTimer>

namespace tarvo::platform {

namespace {
// Reading stops at this much unread data until the link has taken it, so a
// flooding peer cannot grow the tool's memory without bound.
constexpr qint64 kReadBufferBytes = 1 << 20;
}  // namespace

QtSocket::QtSocket()
{
    socket_.setReadBufferSize(kReadBufferBytes);
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
        if (onReadyRead)
            onReadyRead();
    });
    QObject::connect(&socket_, &QAbstractSocket::errorOccurred, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError) {
            // The peer closed: the socket is Closing and sends fail from
            // now on. No error is reported for it.
            peerClosed_ = true;
            return;
        }
        if (socket_.state() != QAbstractSocket::ConnectedState)
            failed_ = true;
        reportError(errorFrom(e), socket_.errorString());
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { peerClosed_ = true; });
}

QtSocket::~QtSocket()
{
    socket_.abort();
}

SocketError QtSocket::errorFrom(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError: return SocketError::AddressInUse;
    case QAbstractSocket::ConnectionRefusedError: return SocketError::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return SocketError::HostNotFound;
    case QAbstractSocket::SocketTimeoutError: return SocketError::TimedOut;
    case QAbstractSocket::RemoteHostClosedError: return SocketError::ConnectionReset;
    default: return SocketError::Other;
    }
}

void QtSocket::reportError(SocketError error, const QString& description)
{
    if (onError)
        onError(error, description);
}

void QtSocket::connectToHost(const QString& host, int port)
{
    failed_ = false;
    peerClosed_ = false;
    if (localPort_ != 0 && !socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort_))) {
        // Reported from the event loop, as every other socket error is.
        failed_ = true;
        const SocketError error = errorFrom(socket_.error());
        const QString text = socket_.errorString();
        QTimer::singleShot(0, &socket_, [this, error, text] { reportError(error, text); });
        return;
    }
    socket_.connectToHost(host, static_cast<quint16>(port));
}

void QtSocket::close()
{
    socket_.abort();
    failed_ = false;
    peerClosed_ = false;
}

SocketState QtSocket::state() const
{
    if (failed_)
        return SocketState::Failed;
    if (peerClosed_)
        return SocketState::Closing;
    switch (socket_.state()) {
    case QAbstractSocket::UnconnectedState: return SocketState::Closed;
    case QAbstractSocket::ConnectedState: return SocketState::Connected;
    case QAbstractSocket::ClosingState: return SocketState::Closing;
    default: return SocketState::Connecting;
    }
}

namespace {
QString dotted(QHostAddress a)
{
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    if (ok)
        a = QHostAddress(v4);
    return a.toString();
}
}  // namespace

QString QtSocket::peerAddress() const
{
    return dotted(socket_.peerAddress());
}

QString QtSocket::localAddress() const
{
    QHostAddress a = socket_.localAddress();
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    if (ok)
        a = QHostAddress(v4);
    return a.toString();
}

bool QtSocket::write(const QByteArray& data)
{
    if (state() != SocketState::Connected)
        return false;
    return socket_.write(data) == data.size();
}

std::optional<QByteArray> QtSocket::readAll()
{
    if (!socket_.isOpen())
        return std::nullopt;
    return socket_.readAll();
}

}  // namespace tarvo::platform
