#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

namespace tarvo::tftp {

// A peer's address in the form the system calls take, so that the
// per-packet path neither allocates nor converts.
struct Endpoint {
    alignas(8) unsigned char storage[128] = {};  // a sockaddr_storage
    int length = 0;

    static Endpoint from(const QHostAddress& address, quint16 port);
    QHostAddress address() const;
    quint16 port() const;
    bool sameHost(const Endpoint& other) const;
    bool operator==(const Endpoint& other) const;
};

// A non-blocking UDP socket for one transfer, on the system's socket API
// with a QSocketNotifier: a lock-step transfer spends most of its time in
// per-packet overhead, and this path has the least of it.
class DatagramSocket : public QObject
{
    Q_OBJECT
public:
    // Binds to local (any port when port is 0); nullptr with error set on failure.
    static DatagramSocket* open(const QHostAddress& local, quint16 port, QString* error);
    ~DatagramSocket() override;

    quint16 localPort() const { return localPort_; }
    // The next datagram, or -1 if none is waiting.
    qint64 receive(char* buffer, qint64 size, Endpoint* from);
    void send(const char* data, qint64 size, const Endpoint& to);
    void close();
    // Called, straight from the event loop, when datagrams are waiting.
    void setReadHandler(std::function<void()> handler) { readHandler_ = std::move(handler); }

private:
    class Notifier;
    DatagramSocket(qintptr descriptor, quint16 localPort);

    qintptr descriptor_;
    quint16 localPort_;
    Notifier* notifier_;
    std::function<void()> readHandler_;
};

}  // namespace tarvo::tftp
