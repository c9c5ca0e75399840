#pragma once
// The PC's TFTP server for as long as it is needed: started on the archive
// folder, awaited until it listens, followed through the lines it prints,
// and stopped. One supervisor serves the runs of one window, or every run
// of a fleet at once; each run follows the lines through its own
// ServerWatch.

#include "pcside/server_watch.h"
#include "platform/event_loop.h"
#include "pcside/tftp_server_control.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tarvo::pcside {

class ServerSupervisor : public QObject {
    Q_OBJECT
public:
    ServerSupervisor(platform::EventLoop& events, TftpServer& program, QObject* parent = nullptr);

    // How long the server may take to start listening.
    static constexpr int kReadyMs = 5000;

    // What the server may store in its life, per controller it serves:
    // four uploads as large as it takes one (1 GiB), room for a controller
    // that starts over, never for a disk filled by junk.
    static constexpr qint64 kStoredPerController = qint64(4) << 30;

    // Whether the server takes uploads: a backup's does; a restore's only
    // serves, so that nobody can replace what the laser is to fetch.
    enum class Uploads { Taken, Refused };
    // Starts the server on root (it files each controller's upload in a
    // folder of its own) and waits, wait(ms) at a time, until it listens.
    // It takes requests from the controllers only: peers are their IPv4
    // addresses, dotted; any other host is refused, and what was refused
    // is among the lines it prints. Without peers nothing is started.
    // False when it is missing, fails or stays silent: failure() says why,
    // and nothing is left running. True at once when it already listens.
    bool start(const QString& root, const QStringList& peers, const std::function<void(int ms)>& wait,
               Uploads uploads = Uploads::Taken);
    void stop();

    // Listening, why not, and the line it said it listens with (for a run
    // that joins later): safe to ask from any thread, as a fleet's runs do
    // while the supervisor's thread writes them.
    bool isReady() const { return ready_; }
    QString failure() const;
    QString readyLine() const;
    QString programPath() const { return program_.programPath(); }

signals:
    // Every line the server prints, as it prints it.
    void lineRead(const QString& line);
    void exited(int exitCode);

private:
    platform::EventLoop& events_;
    TftpServer& program_;
    ServerWatch watch_;
    void setFailure(const QString& failure);
    void setReadyLine(const QString& line);
    mutable QMutex mutex_;
    QString readyLine_;
    QString failure_;
    std::atomic<bool> ready_ = false;
};

}  // namespace tarvo::pcside
