#include "platform/qt_socket.h"

#include <QHostAddress>
#include <QTimer>

namespace platform {

namespace {
// Reading stops at this much unread data until the link has taken it, so a
// flooding peer cannot grow the tool's memory without bound.
constexpr qint64 kReadBufferBytes = 1 << 20;
}  // namespace

QtSocket::QtSocket()
{
    socket_.setReadBufferSize(kReadBufferBytes);
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
        if (onDataArrival)
            onDataArrival();
    });
    QObject::connect(&socket_, &QAbstractSocket::errorOccurred, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError) {
            // The peer closed: like a console socket going to "closing";
            // sends fail from now on. No error is reported for it.
            peerClosed_ = true;
            return;
        }
        if (socket_.state() != QAbstractSocket::ConnectedState)
            errorState_ = true;
        reportError(errorNumber(e), socket_.errorString());
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { peerClosed_ = true; });
}

QtSocket::~QtSocket()
{
    socket_.abort();
}

int QtSocket::errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError: return sckAddressInUse;
    case QAbstractSocket::ConnectionRefusedError: return sckConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return sckHostNotFound;
    case QAbstractSocket::SocketTimeoutError: return sckTimedOut;
    case QAbstractSocket::RemoteHostClosedError: return sckConnectionReset;
    default: return sckGenericError;
    }
}

void QtSocket::reportError(int number, const QString& description)
{
    if (onError)
        onError(number, description);
}

void QtSocket::connectToHost()
{
    errorState_ = false;
    peerClosed_ = false;
    if (localPort_ != 0 && !socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort_))) {
        // Reported from the event loop, as every other socket error is.
        errorState_ = true;
        const int number = errorNumber(socket_.error());
        const QString text = socket_.errorString();
        QTimer::singleShot(0, &socket_, [this, number, text] { reportError(number, text); });
        return;
    }
    socket_.connectToHost(remoteHost_, static_cast<quint16>(remotePort_));
}

void QtSocket::close()
{
    socket_.abort();
    errorState_ = false;
    peerClosed_ = false;
}

int QtSocket::state() const
{
    if (errorState_)
        return sckError;
    if (peerClosed_)
        return sckClosing;
    switch (socket_.state()) {
    case QAbstractSocket::UnconnectedState: return sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::BoundState: return sckOpen;
    case QAbstractSocket::ListeningState: return sckListening;
    case QAbstractSocket::ClosingState: return sckClosing;
    }
    return sckError;
}

QString QtSocket::localIP() const
{
    QHostAddress a = socket_.localAddress();
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    if (ok)
        a = QHostAddress(v4);
    return a.toString();
}

bool QtSocket::sendData(const QByteArray& data)
{
    if (state() != sckConnected)
        return false;
    return socket_.write(data) == data.size();
}

std::optional<QByteArray> QtSocket::getData()
{
    if (!socket_.isOpen())
        return std::nullopt;
    return socket_.readAll();
}

}  // namespace platform
