// Loopback throughput of OpenTFTPServerMT and tftpd-hpa with the same
// Debian clients on the same file. The two servers take turns run by run,
// so that whatever else loads the machine falls on both; each case is
// repeated until the ratio of their speeds is known to a few percent. The
// lock-step limit (one empty datagram there and back between two processes)
// is printed beside it: no lock-step transfer can beat one block per round
// trip.

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
#include <cmath>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
// Many runs: a median over many pairs shrugs off the bursts of other work
// on a shared machine better than a few long runs. Not much shorter ones:
// an upload here ends with fsync and rename, tftpd-hpa's does not.
constexpr qint64 DefaultMiB = 16;
constexpr int MinPairs = 7;
constexpr int MaxPairs = 40;
// A case stops adding pairs once its ratio is known this well (the 95 %
// interval of the median, relative) or it has run this long.
constexpr double WantedPrecision = 0.02;
constexpr qint64 CaseBudgetMs = 30000;
constexpr int ClientTimeoutMs = 180000;
const QString RemoteName = QStringLiteral("config.tgz");

struct Case {
    const char* label;
    const char* client;
    bool put;
    int blksize;      // 0: not asked (512)
    int windowsize;   // 0: not asked
    bool always;      // run without "all"
};

// The laser's own client (busybox) at its block size and at 1468 by
// default; the other Debian clients and windowed transfers with "all".
const Case Cases[] = {
    {"get 512  busybox", "busybox", false, 0, 0, true},
    {"put 512  busybox", "busybox", true, 0, 0, true},
    {"get 1468 busybox", "busybox", false, 1468, 0, true},
    {"put 1468 busybox", "busybox", true, 1468, 0, true},
    {"get 512  tftp-hpa", "tftp-hpa", false, 0, 0, false},
    {"put 512  tftp-hpa", "tftp-hpa", true, 0, 0, false},
    {"get 512  curl", "curl", false, 0, 0, false},
    {"put 512  curl", "curl", true, 0, 0, false},
    {"get 512  atftp", "atftp", false, 0, 0, false},
    {"get 1468 curl", "curl", false, 1468, 0, false},
    {"get 1468 atftp", "atftp", false, 1468, 0, false},
    {"put 1468 atftp", "atftp", true, 1468, 0, false},
    {"get 1468 w16 atftp", "atftp", false, 1468, 16, false},
    {"put 1468 w16 atftp", "atftp", true, 1468, 16, false},
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
    const qint64 ns = qMax<qint64>(clock.nsecsElapsed(), 1);
    if (readAll(c.put ? served : local) != content)
        return -2;
    return content.size() / (1024.0 * 1024.0) / (ns / 1e9);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Half the 95 % interval of the median, from the median absolute deviation.
double medianUncertainty(const std::vector<double>& v)
{
    const double m = median(v);
    std::vector<double> deviations;
    for (double x : v)
        deviations.push_back(std::fabs(x - m));
    const double sigma = 1.4826 * median(deviations);
    return 1.96 * 1.2533 * sigma / std::sqrt(double(v.size()));
}

// The time one empty datagram takes to a blocking echo in another process
// and back on loopback, best batch of several, in microseconds; -1 if it
// cannot be measured.
double lockStepRoundTripUs()
{
    constexpr int Batches = 7;
    constexpr int Rounds = 2000;
    int ends[2] = {::socket(AF_INET, SOCK_DGRAM, 0), ::socket(AF_INET, SOCK_DGRAM, 0)};
    sockaddr_in addresses[2] = {};
    for (int i = 0; i < 2; ++i) {
        addresses[i].sin_family = AF_INET;
        addresses[i].sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addresses[i];
        if (ends[i] < 0 || ::bind(ends[i], reinterpret_cast<sockaddr*>(&addresses[i]), length) != 0
            || ::getsockname(ends[i], reinterpret_cast<sockaddr*>(&addresses[i]), &length) != 0)
            return -1;
    }
    for (int i = 0; i < 2; ++i) {
        if (::connect(ends[i], reinterpret_cast<sockaddr*>(&addresses[1 - i]), sizeof addresses[0]) != 0)
            return -1;
    }
    const pid_t echo = ::fork();
    if (echo < 0)
        return -1;
    if (echo == 0) {
#ifdef Q_OS_LINUX
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        char byte = 0;
        for (;;) {
            const ssize_t n = ::recv(ends[1], &byte, 1, 0);
            if (n > 0)
                ::_exit(0);  // the one non-empty datagram: stop
            if (n == 0)
                ::send(ends[1], &byte, 0, 0);
        }
    }
    ::close(ends[1]);
    double best = -1;
    char byte = 0;
    for (int b = 0; b <= Batches; ++b) {
        QElapsedTimer clock;
        clock.start();
        for (int r = 0; r < Rounds; ++r) {
            ::send(ends[0], &byte, 0, 0);
            ::recv(ends[0], &byte, 1, 0);
        }
        const double us = clock.nsecsElapsed() / 1000.0 / Rounds;
        if (b > 0 && (best < 0 || us < best))  // the first batch warms up
            best = us;
    }
    ::send(ends[0], "q", 1, 0);
    ::waitpid(echo, nullptr, 0);
    ::close(ends[0]);
    return best;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : DefaultMiB;
    // "all", or the cases whose label contains this; none: the default cases.
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (mib <= 0) {
        std::fprintf(stderr, "usage: tftp_bench [MiB] [all|part of a case's name]\n");
        return 2;
    }
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
    std::printf("%lld MiB on loopback; median MiB/s of %d..%d runs each, the servers taking turns;\n"
                "ratio = ours / tftpd-hpa, the median of the pairs' ratios with its 95 %% interval;\n"
                "best = the ratio of the best runs, the least disturbed by whatever else runs;\n"
                "rtt = round trip of an empty datagram between two processes, measured before the case;\n"
                "limit = one block per round trip, what no lock-step transfer can beat\n",
                mib, MinPairs, MaxPairs);
    std::printf("%-20s %10s %10s %16s %6s %6s %8s %8s\n", "case", "tftpd-hpa", "ours", "ratio", "best", "pairs",
                "rtt us", "limit");
    std::fflush(stdout);
    for (const Case& c : Cases) {
        const QString label = QString::fromLatin1(c.label);
        if (only.isEmpty() ? !c.always : only != QLatin1String("all") && !label.contains(only))
            continue;
        const double roundTripUs = lockStepRoundTripUs();
        const ServerUnderBench* servers[2] = {&hpa, &ours};
        const QString folders[2] = {hpaDir.path(), oursDir.path()};
        std::vector<double> speeds[2], ratios;
        QElapsedTimer caseClock;
        caseClock.start();
        bool failed = false;
        for (int pair = 0; pair < MaxPairs && !failed; ++pair) {
            double speed[2] = {};
            for (int turn = 0; turn < 2; ++turn) {
                const int s = (pair + turn) % 2;  // who goes first changes from pair to pair
                speed[s] = runOnce(c, *servers[s], folders[s] + QLatin1Char('/') + RemoteName, localDir.path(),
                                   content);
                if (speed[s] <= 0) {
                    std::printf("%-20s %s failed (%s)\n", c.label, qPrintable(servers[s]->name()),
                                speed[s] == -1 ? "client failed" : "copy differs");
                    failed = true;
                }
            }
            if (failed)
                break;
            speeds[0].push_back(speed[0]);
            speeds[1].push_back(speed[1]);
            ratios.push_back(speed[1] / speed[0]);
            if (int(ratios.size()) >= MinPairs
                && (medianUncertainty(ratios) <= WantedPrecision * median(ratios)
                    || caseClock.elapsed() > CaseBudgetMs))
                break;
        }
        if (failed)
            continue;
        const double blockBytes = c.blksize ? c.blksize : 512;
        const QString limit = roundTripUs > 0 && c.windowsize == 0
                                  ? QString::number(blockBytes / (roundTripUs * 1e-6) / (1024.0 * 1024.0), 'f', 1)
                                  : QStringLiteral("-");
        const double best = *std::max_element(speeds[1].begin(), speeds[1].end())
                            / *std::max_element(speeds[0].begin(), speeds[0].end());
        std::printf("%-20s %10.1f %10.1f %8.2f +- %.2f %6.2f %6zu %8.1f %8s\n", c.label, median(speeds[0]),
                    median(speeds[1]), median(ratios), medianUncertainty(ratios), best, ratios.size(), roundTripUs,
                    qPrintable(limit));
        std::fflush(stdout);
    }
    return 0;
}
