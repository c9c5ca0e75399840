#pragma once
// How the controller's tftp command reaches the PC's TFTP server: over real
// UDP in the program, in memory and virtual time in workflow tests.

#include <QString>

#include <functional>

namespace tarvo::simulator {

struct TftpOutcome {
    bool ok = false;
    bool timedOut = false;
    int errorCode = -1;  // the server's error code, or -1
    QString errorText;
    qint64 bytes = 0;
};

// How the controller's link carries a transfer.
struct TftpPace {
    qint64 bytesPerSecond = 0;  // file bytes a second on the wire; 0: as fast as it goes
    bool stallHalfway = false;  // part of the file crosses, then nothing: no outcome ever
};

class TftpTransport {
public:
    using Done = std::function<void(const TftpOutcome&)>;
    virtual ~TftpTransport() = default;
    // Sends the card file at localPath (a path on the PC) as remoteName;
    // with sendBytes >= 0 only its first sendBytes bytes, announcing no size.
    virtual void put(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
                     qint64 sendBytes, const TftpPace& pace, Done done) = 0;
    // Fetches remoteName into localPath; a failure leaves no file there.
    virtual void get(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
                     const TftpPace& pace, Done done) = 0;
};

}  // namespace tarvo::simulator
