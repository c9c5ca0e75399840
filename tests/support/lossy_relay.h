#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>

class QUdpSocket;

// A UDP relay on 127.0.0.1 between TFTP clients and a server that drops,
// duplicates and delays (so reorders) datagrams, from a fixed seed. Clients
// talk to port(); each client gets an upstream socket that follows the
// server's transfer port once the server answers.
class LossyRelay : public QObject
{
    Q_OBJECT
public:
    struct Faults {
        int dropPercent = 5;
        int duplicatePercent = 3;
        int delayPercent = 5;
        int maxDelayMs = 30;
    };

    LossyRelay(quint16 serverPort, quint32 seed, const Faults& faults, QObject* parent = nullptr);
    ~LossyRelay() override { qDeleteAll(upstreams_); }
    quint16 port() const;
    int dropped() const { return dropped_; }
    int duplicated() const { return duplicated_; }
    int delayed() const { return delayed_; }

private:
    struct Upstream {
        QUdpSocket* socket = nullptr;
        quint16 clientPort = 0;
        quint16 serverPort = 0;
    };

    void fromClients();
    void fromServer(Upstream* up);
    void deliver(QUdpSocket* via, const QByteArray& datagram, quint16 toPort);

    QUdpSocket* front_;
    quint16 serverPort_;
    Faults faults_;
    QRandomGenerator random_;
    QHash<quint16, Upstream*> upstreams_;  // by client port
    int dropped_ = 0;
    int duplicated_ = 0;
    int delayed_ = 0;
};
