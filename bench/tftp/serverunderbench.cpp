#include "serverunderbench.h"

#include <QCoreApplication>
#include <QThread>
#include <QUdpSocket>

#include <unistd.h>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
constexpr char TftpdHpaPath[] = "/usr/sbin/in.tftpd";
constexpr int StartWaitMs = 300;

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}
} // namespace

ServerUnderBench::ServerUnderBench(Kind kind, const QString& folder)
    : kind_(kind), folder_(folder)
{
}

ServerUnderBench::~ServerUnderBench()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

QString ServerUnderBench::name() const
{
    return kind_ == Ours ? QStringLiteral("OpenTFTPServerMT") : QStringLiteral("tftpd-hpa");
}

bool ServerUnderBench::start(QString* error)
{
    port_ = freeUdpPort();
    QString program;
    QStringList args;
    if (kind_ == Ours) {
        // TFTP_BENCH_SERVER: another build of ours (say, before a change);
        // TFTP_BENCH_SERVER_ARGS: more arguments for it, such as -v.
        program = qEnvironmentVariable("TFTP_BENCH_SERVER",
                                       QCoreApplication::applicationDirPath() + QStringLiteral("/OpenTFTPServerMT"));
        args = {QStringLiteral("--port"), QString::number(port_), QStringLiteral("--bind"),
                QStringLiteral("127.0.0.1"), QStringLiteral("--root"), folder_};
        args += qEnvironmentVariable("TFTP_BENCH_SERVER_ARGS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    } else {
        // Foreground listen mode, creating and overwriting allowed, as the
        // user we are (it insists on dropping to one).
        program = QString::fromLatin1(TftpdHpaPath);
        const QString user = ::geteuid() == 0 ? QStringLiteral("root") : qEnvironmentVariable("USER");
        args = {QStringLiteral("-L"), QStringLiteral("-a"), QStringLiteral("127.0.0.1:%1").arg(port_),
                QStringLiteral("-c"), QStringLiteral("-p"), QStringLiteral("-u"), user,
                QStringLiteral("-s"), folder_};
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // Should the benchmark die, its servers go with it.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    process_.start(program, args);
    if (!process_.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, process_.errorString());
        return false;
    }
    QThread::msleep(StartWaitMs);
    if (process_.state() != QProcess::Running) {
        *error = QStringLiteral("%1 ended at once").arg(program);
        return false;
    }
    return true;
}
