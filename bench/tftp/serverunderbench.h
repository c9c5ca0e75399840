#pragma once

#include <QProcess>
#include <QString>

// One TFTP server program run for the benchmark on 127.0.0.1 and a free
// port, serving its own folder; stopped by its PID when destroyed.
class ServerUnderBench
{
public:
    enum Kind { Ours, TftpdHpa };

    ServerUnderBench(Kind kind, const QString& folder);
    ~ServerUnderBench();

    bool start(QString* error);
    quint16 port() const { return port_; }
    QString name() const;

private:
    Kind kind_;
    QString folder_;
    QProcess process_;
    quint16 port_ = 0;
};
