// Loopback throughput of OpenTFTPServerMT and tftpd-hpa with the same
// Debian clients on the same file. Prints one line per case and the ratio.

#include "serverunderbench.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {
constexpr qint64 DefaultMiB = 40;
constexpr int Repetitions = 5;
constexpr int ClientTimeoutMs = 180000;
const QString RemoteName = QStringLiteral("config.tgz");

struct Case {
    const char* label;
    const char* client;
    bool put;
    int blksize;      // 0: not asked
    int windowsize;   // 0: not asked
};

// The clients that can ask for blksize and windowsize do so where a case says.
const Case Cases[] = {
    {"get 512  tftp-hpa", "tftp-hpa", false, 0, 0},
    {"put 512  tftp-hpa", "tftp-hpa", true, 0, 0},
    {"get 512  busybox", "busybox", false, 0, 0},
    {"get 512  atftp", "atftp", false, 0, 0},
    {"get 1468 busybox", "busybox", false, 1468, 0},
    {"get 1468 curl", "curl", false, 1468, 0},
    {"get 1468 atftp", "atftp", false, 1468, 0},
    {"put 1468 atftp", "atftp", true, 1468, 0},
    {"get 1468 w16 atftp", "atftp", false, 1468, 16},
    {"put 1468 w16 atftp", "atftp", true, 1468, 16},
};

QStringList clientCommand(const Case& c, const QString& local, quint16 port, QString* program)
{
    const QString host = QStringLiteral("127.0.0.1");
    const QString p = QString::number(port);
    const QString client = QLatin1String(c.client);
    if (client == QLatin1String("tftp-hpa")) {
        *program = QStringLiteral("tftp");
        return {QStringLiteral("-m"), QStringLiteral("binary"), host, p, QStringLiteral("-c"),
                c.put ? QStringLiteral("put") : QStringLiteral("get"), c.put ? local : RemoteName,
                c.put ? RemoteName : local};
    }
    if (client == QLatin1String("busybox")) {
        *program = QStringLiteral("busybox");
        QStringList a = {QStringLiteral("tftp")};
        if (c.blksize)
            a << QStringLiteral("-b") << QString::number(c.blksize);
        return a << (c.put ? QStringLiteral("-p") : QStringLiteral("-g")) << QStringLiteral("-l") << local
                 << QStringLiteral("-r") << RemoteName << host << p;
    }
    if (client == QLatin1String("curl")) {
        *program = QStringLiteral("curl");
        QStringList a = {QStringLiteral("-sS")};
        if (c.blksize)
            a << QStringLiteral("--tftp-blksize") << QString::number(c.blksize);
        a << (c.put ? QStringLiteral("-T") : QStringLiteral("-o")) << local;
        return a << QStringLiteral("tftp://%1:%2/%3").arg(host, p, RemoteName);
    }
    *program = QStringLiteral("atftp");
    QStringList a;
    if (c.blksize)
        a << QStringLiteral("--option") << QStringLiteral("blksize %1").arg(c.blksize);
    if (c.windowsize)
        a << QStringLiteral("--option") << QStringLiteral("windowsize %1").arg(c.windowsize);
    return a << (c.put ? QStringLiteral("-p") : QStringLiteral("-g")) << QStringLiteral("-r") << RemoteName
             << QStringLiteral("-l") << local << host << p;
}

void writeAll(const QString& path, const QByteArray& content)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    f.close();
    f.setPermissions(f.permissions() | QFile::ReadOther | QFile::WriteOther);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One run in MiB/s, or a negative number if it failed or the copy differs.
double runOnce(const Case& c, const ServerUnderBench& server, const QString& served, const QString& localDir,
               const QByteArray& content)
{
    const QString local = localDir + QStringLiteral("/local");
    QFile::remove(local);
    writeAll(c.put ? local : served, content);
    QString program;
    const QStringList args = clientCommand(c, local, server.port(), &program);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForFinished(ClientTimeoutMs) || p.exitCode() != 0)
        return -1;
    const qint64 ms = qMax<qint64>(clock.elapsed(), 1);
    if (readAll(c.put ? served : local) != content)
        return -2;
    return content.size() / (1024.0 * 1024.0) / (ms / 1000.0);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : DefaultMiB;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();  // cases containing this
    for (const char* tool : {"tftp", "busybox", "curl", "atftp"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            std::fprintf(stderr, "%s missing: apt-get install tftp-hpa tftpd-hpa busybox curl atftp\n", tool);
            return 2;
        }
    }
    QByteArray content(mib * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(2026);
    gen.fillRange(reinterpret_cast<quint32*>(content.data()), content.size() / 4);

    QTemporaryDir oursDir, hpaDir, localDir;
    ServerUnderBench ours(ServerUnderBench::Ours, oursDir.path());
    ServerUnderBench hpa(ServerUnderBench::TftpdHpa, hpaDir.path());
    QString error;
    if (!ours.start(&error) || !hpa.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%lld MiB on loopback, best of %d, MiB/s\n", mib, Repetitions);
    std::printf("%-22s %12s %12s %8s\n", "case", "tftpd-hpa", "ours", "ratio");
    // The two servers take turns, so that load from elsewhere on the machine
    // hits both alike; the best run of each counts.
    for (const Case& c : Cases) {
        if (!QString::fromLatin1(c.label).contains(only))
            continue;
        const ServerUnderBench* servers[2] = {&hpa, &ours};
        const QString folders[2] = {hpaDir.path(), oursDir.path()};
        double best[2] = {-1, -1};
        for (int i = 0; i < Repetitions; ++i) {
            for (int s = 0; s < 2; ++s) {
                const QString served = folders[s] + QLatin1Char('/') + RemoteName;
                best[s] = std::max(best[s], runOnce(c, *servers[s], served, localDir.path(), content));
            }
        }
        std::printf("%-22s %12.1f %12.1f %8.2f\n", c.label, best[0], best[1], best[0] > 0 ? best[1] / best[0] : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
