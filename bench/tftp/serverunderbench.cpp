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
    : m_kind(kind), m_folder(folder)
{
}

ServerUnderBench::~ServerUnderBench()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString ServerUnderBench::name() const
{
    return m_kind == Ours ? QStringLiteral("OpenTFTPServerMT") : QStringLiteral("tftpd-hpa");
}

bool ServerUnderBench::start(QString* error)
{
    m_port = freeUdpPort();
    QString program;
    QStringList args;
    if (m_kind == Ours) {
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/OpenTFTPServerMT");
        args = {QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--bind"),
                QStringLiteral("127.0.0.1"), QStringLiteral("--root"), m_folder};
    } else {
        // Foreground listen mode, creating and overwriting allowed, as the
        // user we are (it insists on dropping to one).
        program = QString::fromLatin1(TftpdHpaPath);
        const QString user = ::geteuid() == 0 ? QStringLiteral("root") : qEnvironmentVariable("USER");
        args = {QStringLiteral("-L"), QStringLiteral("-a"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                QStringLiteral("-c"), QStringLiteral("-p"), QStringLiteral("-u"), user,
                QStringLiteral("-s"), m_folder};
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // Should the benchmark die, its servers go with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    m_process.start(program, args);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return false;
    }
    QThread::msleep(StartWaitMs);
    if (m_process.state() != QProcess::Running) {
        *error = QStringLiteral("%1 ended at once").arg(program);
        return false;
    }
    return true;
}
