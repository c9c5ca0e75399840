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
    quint16 port() const { return m_port; }
    QString name() const;

private:
    Kind m_kind;
    QString m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};
