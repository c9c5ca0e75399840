#include "platform/qt_network.h"

#include "platform/qt_socket.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

namespace tarvo::platform {

std::unique_ptr<TcpSocket> QtNetwork::createSocket()
{
    return std::make_unique<QtSocket>();
}

QString QtNetwork::lookUpIPv4(const QString& name, int timeoutMs)
{
    QHostAddress address;
    if (address.setAddress(name))
        return address.protocol() == QAbstractSocket::IPv4Protocol ? address.toString() : QString();
    // The answer comes as an event; the window keeps answering meanwhile.
    QEventLoop loop;
    QString found;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    const int id = QHostInfo::lookupHost(name, &loop, [&found, &loop](const QHostInfo& info) {
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                found = a.toString();
                break;
            }
        }
        loop.quit();
    });
    loop.exec();
    QHostInfo::abortHostLookup(id);
    return found;
}

}  // namespace tarvo::platform
