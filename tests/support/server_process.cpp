#include "server_process.h"

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
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
    if (!settings_.isEmpty())
        QFile::remove(settings_);
}

QByteArray ServerProcess::testSettings()
{
    return QByteArray(TestSettings);
}

QString ServerProcess::programPath()
{
    return QStringLiteral(TARVO_SERVER_PROGRAM);
}

bool ServerProcess::start(const QString& root, const QStringList& extraArguments, const QByteArray& settingsText)
{
    QTemporaryFile settings(QDir::tempPath() + QStringLiteral("/tftp-test-XXXXXX.ini"));
    settings.setAutoRemove(false);
    if (!settings.open())
        return false;
    settings.write(settingsText.isEmpty() ? QByteArray(TestSettings) : settingsText);
    settings.close();
    settings_ = settings.fileName();

    QStringList args = {QStringLiteral("-v"), QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root,
                        QStringLiteral("--config"), settings_};
    args += extraArguments;
    process_.setProcessChannelMode(QProcess::MergedChannels);
#ifdef Q_OS_LINUX
    // Should the test itself die, the server goes with it rather than lingering.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    process_.start(programPath(), args);
    if (!process_.waitForStarted(StartTimeoutMs))
        return false;
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch m = listening.match(log());
        if (m.hasMatch()) {
            port_ = quint16(m.captured(1).toUInt());
            return true;
        }
        if (process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(50);
    }
    return false;
}

QString ServerProcess::log()
{
    log_ += QString::fromLocal8Bit(process_.readAll());
    return log_;
}

QString ServerProcess::logNow(int quietMs)
{
    while (process_.state() == QProcess::Running && process_.waitForReadyRead(quietMs))
        log();
    return log();
}

bool ServerProcess::waitForLog(const QString& needle, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!log().contains(needle)) {
        if (deadline.hasExpired())
            return false;
        if (!process_.waitForReadyRead(20))
            QCoreApplication::processEvents();
    }
    return true;
}

int ServerProcess::terminate(int timeoutMs)
{
    if (process_.state() == QProcess::NotRunning)
        return process_.exitCode();
    process_.terminate();
    if (!process_.waitForFinished(timeoutMs))
        return -1;
    log();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int ServerProcess::waitForExit(int timeoutMs)
{
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(timeoutMs))
        return -1;
    log();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}
