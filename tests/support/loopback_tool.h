#pragma once
// Staging the real programs on loopback: a program folder holding the TFTP
// server with its settings file (a free unprivileged port), and the
// simulated controller as a child process, controlled on its standard
// input. Shared by the end-to-end tests and the benchmarks.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <memory>

namespace tarvo::test {

inline QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("TARVO_BIN_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(TARVO_BIN_DIR_DEFAULT) : fromEnv;
}

inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// A program folder with OpenTFTPServerMT set to serve it on 127.0.0.1.
struct ProgramFolder {
    QTemporaryDir dir;
    quint16 tftpPort = 0;

    bool stage()
    {
        if (!dir.isValid()
            || !QFile::copy(binDir() + QStringLiteral("/OpenTFTPServerMT"), dir.filePath(QStringLiteral("OpenTFTPServerMT"))))
            return false;
        tftpPort = freeUdpPort();
        QFile ini(dir.filePath(QStringLiteral("OpenTFTPServerMT.ini")));
        return ini.open(QIODevice::WriteOnly)
               && ini.write(QStringLiteral("Port=%1\nBind=127.0.0.1\n").arg(tftpPort).toLatin1()) > 0;
    }
    QString path(const QString& name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
};

// The controller listens on its fixed shell port on an address of its own
// in the loopback range, so that nothing else on 127.0.0.1 is in the way;
// tests that may run at the same time each take a different one.
class SimulatorProcess {
public:
    explicit SimulatorProcess(QString address = QStringLiteral("127.0.0.23")) : address_(std::move(address)) {}
    ~SimulatorProcess() { stop(); }

    const QString& address() const { return address_; }

    bool start(const QString& card, quint16 tftpPort, const QStringList& extra = {})
    {
        process_.setProgram(binDir() + QStringLiteral("/controller-sim"));
        process_.setArguments(QStringList{"--headless", "--bind", address_, "--port", "1138", "--card", card,
                                          "--tftp-port", QString::number(tftpPort)} + extra);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start();
        if (!process_.waitForStarted(5000))
            return false;
        for (int i = 0; i < 50; ++i) {
            QTcpSocket probe;
            probe.connectToHost(address_, 1138);
            if (probe.waitForConnected(200))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // One control command on standard input (power off, card FOLDER, ...).
    bool control(const QByteArray& command)
    {
        process_.write(command + "\n");
        const bool ok = process_.waitForBytesWritten(2000);
        process_.waitForReadyRead(1000);
        process_.readAll();
        return ok;
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.write("quit\n");
        if (!process_.waitForFinished(3000)) {
            process_.terminate();
            if (!process_.waitForFinished(3000))
                process_.kill();
            process_.waitForFinished(1000);
        }
    }

    qint64 pid() const { return process_.processId(); }

private:
    QString address_;
    QProcess process_;
};

}  // namespace tarvo::test
