#pragma once

#include "backupkeeper.h"
#include "namepolicy.h"
#include "packet.h"
#include "serverconfig.h"
#include "sessionresult.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

class QUdpSocket;

namespace tarvo::tftp {

class Session;

// The TFTP server: takes requests on one socket and runs each transfer on a
// socket of its own. Reports every request and every outcome on logLine.
class Server : public QObject
{
    Q_OBJECT
public:
    explicit Server(const ServerConfig& config, QObject* parent = nullptr);
    ~Server() override;

    // Why start() failed, for the status line the desktop tool reads.
    enum class StartFailure { Other, PortInUse, Permission, FolderNotWritable };

    // Creates the served folder if missing, proves it writable, binds the
    // request socket, then sweeps what killed servers left behind.
    bool start(QString* error, StartFailure* failure = nullptr);
    quint16 port() const;
    int activeTransfers() const { return int(active_.size()); }
    // Ends every transfer at once; unfinished writes are thrown away.
    void shutdown();

signals:
    void logLine(const QString& line);

private:
    struct Request {
        Packet packet;
        QHostAddress peer;
        quint16 peerPort = 0;
        QString peerText;
    };
    struct Active {
        Session* session = nullptr;
        QByteArray requestBytes;
        QString name;
        bool write = false;
        // For PROGRESS lines.
        QString peerAddress;        // without port
        QString path;               // full path of the file
        qint64 announcedBytes = -1; // tsize, or the file's size for a read; -1: unknown
        qint64 startedMs = 0;       // on clock_
        qint64 reportedBytes = 0;   // bytes in the last PROGRESS line
    };

    void readRequests();
    void handleDatagram(QByteArrayView datagram, const QHostAddress& peer, quint16 peerPort);
    void startRead(const Request& request);
    void startWrite(const Request& request);
    void refuse(const Request& request, quint16 code, const QString& reason, bool logged = true);
    // Whether this refusal of a peer the server does not serve gets a line.
    bool strangerMayBeLogged(const QHostAddress& peer);
    static constexpr int kStrangerRefusalsLogged = 10;
    static constexpr qsizetype kMaxStrangersCounted = 1024;
    QHash<QString, int> strangerRefusals_;
    void track(const Request& request, Session* session, const QString& path, qint64 announcedBytes,
               qint64 budgeted);
    // One PROGRESS line for each running transfer that moved since its last.
    void reportProgress();
    // Fits the negotiation into the memory budget; false (and the request
    // refused as busy) if even the smallest grant does not fit.
    bool takeBudget(const Request& request, ServerNegotiation* n, bool sending, qint64* taken);
    bool prepareRoot(QString* error);
    // Where a peer's files live: root, or root/<address> with --per-client.
    QString folderFor(const QHostAddress& peer) const;
    // Whether requests from this address are served (--only-from).
    bool serves(const QHostAddress& peer) const;
    void sweepTemporaryFiles();
    bool isDuplicate(const QString& key, QByteArrayView datagram);

    ServerConfig config_;
    NamePolicy names_;
    TransferBudget budget_;
    BackupKeeper backups_;
    QUdpSocket* socket_ = nullptr;
    QByteArray buffer_;
    QHash<QString, Active> active_;           // by peer address:port
    QHash<QString, QByteArray> recent_;       // finished requests, against late duplicates
    QHash<QString, qint64> recentAt_;
    QElapsedTimer clock_;
    QHash<QString, QString> writing_;         // target path -> peer address:port of its upload
    QTimer progressTimer_;                    // runs while transfers do, with progressIntervalMs
    qint64 storedBytes_ = 0;                  // every completed upload so far, against maxStoredBytes
};

}  // namespace tarvo::tftp
