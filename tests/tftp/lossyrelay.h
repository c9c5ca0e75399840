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
    ~LossyRelay() override { qDeleteAll(m_upstreams); }
    quint16 port() const;
    int dropped() const { return m_dropped; }
    int duplicated() const { return m_duplicated; }
    int delayed() const { return m_delayed; }

private:
    struct Upstream {
        QUdpSocket* socket = nullptr;
        quint16 clientPort = 0;
        quint16 serverPort = 0;
    };

    void fromClients();
    void fromServer(Upstream* up);
    void deliver(QUdpSocket* via, const QByteArray& datagram, quint16 toPort);

    QUdpSocket* m_front;
    quint16 m_serverPort;
    Faults m_faults;
    QRandomGenerator m_random;
    QHash<quint16, Upstream*> m_upstreams;  // by client port
    int m_dropped = 0;
    int m_duplicated = 0;
    int m_delayed = 0;
};
