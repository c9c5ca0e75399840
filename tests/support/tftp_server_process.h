#pragma once
// A TFTP server on 127.0.0.1 for the end-to-end tests: Debian's tftpd-hpa
// or the project's OpenTFTPServerMT (started as the TFTP tests start it),
// on a free port, stopped by its PID.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "server_process.h"

#include <memory>

class TftpServerProcess {
public:
    enum Kind { Hpa, Open };

    ~TftpServerProcess() { stop(); }

    static QString hpaProgram() { return QStringLiteral("/usr/sbin/in.tftpd"); }
    static QString openProgram()
    {
        return QStringLiteral(TARVO_SERVER_PROGRAM);
    }
    static bool available(Kind kind)
    {
        return QFileInfo(kind == Hpa ? hpaProgram() : openProgram()).isExecutable();
    }

    // A UDP port that was free a moment ago.
    static quint16 freePort()
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        return probe.localPort();
    }

    // extraArguments go to OpenTFTPServerMT only (e.g. --per-client).
    bool start(Kind kind, const QString& root, const QStringList& extraArguments = {})
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        if (kind == Hpa) {
            port_ = freePort();
            // Foreground, confined to root, may create and overwrite files.
            process_.start(hpaProgram(), {QStringLiteral("--foreground"), QStringLiteral("--address"),
                                          QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("--secure"),
                                          QStringLiteral("--create"), QStringLiteral("--permissive"),
                                          QStringLiteral("--user"), QStringLiteral("root"), root});
            if (!process_.waitForStarted(5000))
                return false;
            // It prints nothing when ready: give it a moment to bind.
            QDeadlineTimer settle(300);
            while (!settle.hasExpired() && process_.state() == QProcess::Running)
                process_.waitForFinished(50);
            return process_.state() == QProcess::Running;
        }
        // Ours is started the way the TFTP tests start it.
        open_ = std::make_unique<ServerProcess>();
        if (!open_->start(root, extraArguments))
            return false;
        port_ = open_->port();
        return true;
    }

    quint16 port() const { return port_; }
    qint64 pid() const { return open_ ? open_->pid() : process_.processId(); }
    QByteArray log()
    {
        if (open_)
            return open_->log().toLocal8Bit();
        log_ += process_.readAll();
        return log_;
    }

    void stop()
    {
        if (open_)
            open_->terminate();
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();  // SIGTERM to this PID only
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QProcess process_;
    std::unique_ptr<ServerProcess> open_;
    QByteArray log_;
    quint16 port_ = 0;
};
