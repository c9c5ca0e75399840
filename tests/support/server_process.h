#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The real OpenTFTPServerMT on 127.0.0.1 and a free port, serving root, with
// short retry times so that failures show quickly. Killed if still running
// when destroyed.
class ServerProcess
{
public:
    ~ServerProcess();

    static QString programPath();
    // The settings used when start() gets none: short retry times.
    static QByteArray testSettings();

    // settings: the settings file's text; empty for the short default retry times.
    bool start(const QString& root, const QStringList& extraArguments = {}, const QByteArray& settings = {});
    quint16 port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    // Everything the server printed so far (that has reached us: without an
    // event loop that needs a wait, see waitForLog and logNow).
    QString log();
    // Everything the server printed up to now: reads until its output has
    // been quiet for quietMs.
    QString logNow(int quietMs = 100);
    bool waitForLog(const QString& needle, int timeoutMs = 5000);
    // SIGTERM, then the exit code (or -1 if it did not end in time).
    int terminate(int timeoutMs = 5000);
    // The exit code once it ends by itself (or -1).
    int waitForExit(int timeoutMs = 5000);

private:
    QProcess process_;
    QString log_;
    QString settings_;
    quint16 port_ = 0;
};
