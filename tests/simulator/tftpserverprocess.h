#pragma once
// A TFTP server on 127.0.0.1 for the end-to-end tests: Debian's tftpd-hpa
// or the project's OpenTFTPServerMT, on a free port, stopped by its PID.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>

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

    bool start(Kind kind, const QString& root)
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
        // Its own settings file, so that none beside the program applies.
        const QString settings = QDir(settingsDir_.path()).filePath(QStringLiteral("server.ini"));
        QFile ini(settings);
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.close();
        process_.start(openProgram(), {QStringLiteral("-v"), QStringLiteral("--port"), QStringLiteral("0"),
                                       QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--root"),
                                       root, QStringLiteral("--config"), settings});
        if (!process_.waitForStarted(5000))
            return false;
        static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            log_ += process_.readAll();
            const auto m = listening.match(QString::fromLocal8Bit(log_));
            if (m.hasMatch()) {
                port_ = quint16(m.captured(1).toUInt());
                return true;
            }
            process_.waitForReadyRead(50);
        }
        return false;
    }

    quint16 port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    QByteArray log()
    {
        log_ += process_.readAll();
        return log_;
    }

    void stop()
    {
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
    QTemporaryDir settingsDir_;
    QByteArray log_;
    quint16 port_ = 0;
};
