#include "serverprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThread>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
// Short enough for tests of abandoned transfers, long enough for 2 busy cores.
constexpr char TestSettings[] =
    "RetryTimeoutMs=200\nRetryBackoff=1.5\nRetryMaxTimeoutMs=1000\nRetryMaxTries=5\nDallyMs=500\n";
constexpr int StartTimeoutMs = 10000;
}

ServerProcess::~ServerProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    if (!m_settings.isEmpty())
        QFile::remove(m_settings);
}

QString ServerProcess::programPath()
{
    QString dir = qEnvironmentVariable("TARVO_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    return QDir(dir).absoluteFilePath(QStringLiteral("OpenTFTPServerMT"));
}

bool ServerProcess::start(const QString& root, const QStringList& extraArguments, const QByteArray& settingsText)
{
    QTemporaryFile settings(QDir::tempPath() + QStringLiteral("/tftp-test-XXXXXX.ini"));
    settings.setAutoRemove(false);
    if (!settings.open())
        return false;
    settings.write(settingsText.isEmpty() ? QByteArray(TestSettings) : settingsText);
    settings.close();
    m_settings = settings.fileName();

    QStringList args = {QStringLiteral("-v"), QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root,
                        QStringLiteral("--config"), m_settings};
    args += extraArguments;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
#ifdef Q_OS_LINUX
    // Should the test itself die, the server goes with it rather than lingering.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    m_process.start(programPath(), args);
    if (!m_process.waitForStarted(StartTimeoutMs))
        return false;
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch m = listening.match(log());
        if (m.hasMatch()) {
            m_port = quint16(m.captured(1).toUInt());
            return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
    return false;
}

QString ServerProcess::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAll());
    return m_log;
}

bool ServerProcess::waitForLog(const QString& needle, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!log().contains(needle)) {
        if (deadline.hasExpired())
            return false;
        if (!m_process.waitForReadyRead(20))
            QCoreApplication::processEvents();
    }
    return true;
}

int ServerProcess::terminate(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitCode();
    m_process.terminate();
    if (!m_process.waitForFinished(timeoutMs))
        return -1;
    log();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

int ServerProcess::waitForExit(int timeoutMs)
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(timeoutMs))
        return -1;
    log();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
