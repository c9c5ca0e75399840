#pragma once
// A TFTP transport for virtual time: copies between the card and a folder
// that stands for the PC's TFTP server root, after delays on the platform's
// timers. When the server is not running the transfer fails the way the
// real client gives up: "timeout" after its whole retry schedule.

#include "simulator/tftptransport.h"

#include "simulator/delayedcalls.h"

#include <QString>

#include <functional>

namespace tarvo::platform {
class EventLoop;
}

namespace tarvo::simulator {

class MemoryTftpTransport final : public TftpTransport {
public:
    MemoryTftpTransport(platform::EventLoop& platform, const QString& serverRoot);

    void put(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             qint64 sendBytes, const TftpPace& pace, Done done) override;
    void get(const QString& localPath, const QString& host, quint16 port, const QString& remoteName,
             const TftpPace& pace, Done done) override;

    // Whether the PC's server answers (host and port of the request given);
    // unset means it always does.
    std::function<bool(const QString& host, quint16 port)> serverRunning;
    // An error the server answers with instead of transferring: return its
    // TFTP error code and set text, or return -1 to let the transfer run.
    std::function<int(bool put, const QString& remoteName, QString* text)> serverError;
    // Called with the file an upload was stored in, as the server reports it.
    std::function<void(const QString& storedPath)> onStored;
    // The folder standing for the server's root.
    void setServerRoot(const QString& root) { serverRoot_ = root; }
    // Time of a transfer: a fixed part plus the bytes at this rate (or the
    // controller's link rate, when it sets one).
    int setupMs = 30;
    qint64 bytesPerSecond = 1'000'000;

    // The whole retry schedule of the client before it reports a timeout
    // (100 ms, 1.5 times longer after each silence, at most 2 s, 12 tries).
    static int giveUpMs();

    struct Record {
        bool put;
        QString host;
        quint16 port;
        QString remoteName;
        bool ok;
        bool announcedSize = false;  // a put that told the server its size
    };
    std::vector<Record> transfers;

private:
    bool reachable(const QString& host, quint16 port) const;
    // A timeout or a server's error instead of a transfer; true when so.
    bool answeredWithoutTransfer(bool put, const QString& host, quint16 port, const QString& remoteName,
                                 const Done& done);
    bool answerWithError(bool put, const QString& host, quint16 port, const QString& remoteName, const Done& done);
    int durationMs(qint64 bytes, const TftpPace& pace) const;
    QString serverRoot_;
    DelayedCalls later_;
};

}  // namespace tarvo::simulator
