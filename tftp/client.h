#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>

namespace tarvo::tftp {

struct ClientOptions {
    int blksize = 0;          // 0: do not ask; else ask for it
    bool sendTsize = true;    // send tsize (0 on RRQ, file size on WRQ)
    int windowsize = 0;       // 0: do not ask
    int initialTimeoutMs = 100;  // first wait for a reply
    double backoff = 1.5;        // each silence multiplies the wait...
    int maxTimeoutMs = 2000;     // ...up to this
    int maxTries = 12;           // then give up (about 13 s in all)
    QHostAddress localAddress;   // null: any
};

struct TransferResult {
    bool ok = false;
    bool timedOut = false;    // gave up after maxTries silences
    int errorCode = -1;       // TFTP error code from the server, -1 if none
    QString errorText;        // server's error text, or a local reason
    qint64 bytes = 0;
};

// TFTP client for octet transfers; any number of transfers may run at once.
class Client : public QObject
{
    Q_OBJECT
public:
    explicit Client(QObject* parent = nullptr);

    // put: sends the local file under remoteName. get: receives remoteName into
    // localPath via a temporary file in the same folder, renamed into place only
    // on success: a failed get leaves no partial file and keeps an older file.
    // done is called exactly once, from the event loop; it may delete the
    // Client. Deleting the Client earlier abandons its transfers (a get
    // then leaves no file) without calling done.
    void put(const QHostAddress& host, quint16 port, const QString& remoteName,
             const QString& localPath, const ClientOptions& options,
             std::function<void(const TransferResult&)> done);
    void get(const QHostAddress& host, quint16 port, const QString& remoteName,
             const QString& localPath, const ClientOptions& options,
             std::function<void(const TransferResult&)> done);

private:
    void failLater(const QString& reason, std::function<void(const TransferResult&)> done);
};

}  // namespace tarvo::tftp
