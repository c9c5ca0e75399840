// One headless --backup of N simulated controllers at once (N = 1, 10, 50,
// or the counts given as arguments), each on a loopback address of its own,
// through the one TFTP server the tool starts: wall time against the first
// count's (goal: 50 controllers within 1.5 x one), and the peak memory of
// the tool and of its server (goal: together under 200 MB).
#include "card_copy.h"
#include "loopback_tool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <sys/prctl.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

// A child started here ends when this program ends, however it ends.
void endWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

QByteArray procFile(qint64 pid, const char* name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The peak resident set of a running process in KiB, or 0.
qint64 peakKib(qint64 pid)
{
    for (const QByteArray& line : procFile(pid, "status").split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// The direct children of a process, over all its threads.
std::vector<qint64> childrenOf(qint64 pid)
{
    std::vector<qint64> children;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task) + QStringLiteral("/children"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : f.readAll().split(' '))
            if (const qint64 id = child.trimmed().toLongLong(); id > 0)
                children.push_back(id);
    }
    return children;
}

bool isRunningServer(qint64 pid)
{
    return procFile(pid, "comm").startsWith("OpenTFTPServer");
}

struct Figures {
    int controllers = 0;
    double wall = 0;
    qint64 toolKib = 0, serverKib = 0;
    int ok = 0;
    QString problem;
};

Figures runFleet(int count, const QString& cardSource)
{
    Figures figures;
    figures.controllers = count;
    tarvo::test::ProgramFolder program;
    QTemporaryDir cards;
    if (!program.stage() || !program.stageTool() || !cards.isValid()) {
        figures.problem = QStringLiteral("cannot stage the programs (is everything built?)");
        return figures;
    }
    // Declared after the folders, so the simulators stop before their cards go.
    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    QStringList addresses;
    for (int i = 1; i <= count; ++i) {
        const QString address = QStringLiteral("127.0.%1.%2").arg(1 + (i - 1) / 254).arg(1 + (i - 1) % 254);
        const QString card = cards.filePath(QString::number(i));
        auto sim = std::make_unique<SimulatorProcess>();
        sim->process().setChildProcessModifier(endWithParent);
        if (!copyTree(cardSource, card) || !tarvo::test::startOnShellPort(*sim, address, card, program.tftpPort)) {
            figures.problem = QStringLiteral("the simulated controller on %1 did not start").arg(address);
            return figures;
        }
        sims.push_back(std::move(sim));
        addresses << address;
    }

    QTemporaryDir config;
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    tool.setProcessEnvironment(env);
    tool.setChildProcessModifier(endWithParent);
    tool.setWorkingDirectory(program.path());
    tool.setProgram(program.tool());
    tool.setArguments(QStringList{QStringLiteral("--backup")} + addresses +
                      QStringList{QStringLiteral("--parallel"), QString::number(count), QStringLiteral("--archive-dir"),
                                  program.archives()});
    std::map<qint64, qint64> serverPeaks;
    QElapsedTimer wall;
    wall.start();
    tool.start();
    if (!tool.waitForStarted(5000)) {
        figures.problem = QStringLiteral("the tool did not start");
        return figures;
    }
    const qint64 pid = tool.processId();
    QByteArray out;
    const qint64 limitMs = 120000 + 2000LL * count;
    while (!tool.waitForFinished(50)) {
        out += tool.readAllStandardOutput();
        tool.readAllStandardError();  // progress lines, not kept
        figures.toolKib = std::max(figures.toolKib, peakKib(pid));
        for (qint64 child : childrenOf(pid))
            serverPeaks[child] = std::max(serverPeaks[child], peakKib(child));
        if (wall.elapsed() > limitMs) {
            tool.kill();  // this PID only; its server ends with it
            tool.waitForFinished(3000);
            figures.problem = QStringLiteral("the tool took longer than %1 s").arg(limitMs / 1000);
            break;
        }
    }
    figures.wall = wall.elapsed() / 1000.0;
    out += tool.readAllStandardOutput();
    for (const auto& [child, peak] : serverPeaks) {
        figures.serverKib += peak;
        if (isRunningServer(child) && QFile::exists(QStringLiteral("/proc/%1").arg(child))) {
            std::fprintf(stderr, "the server %lld outlived the tool; ending it\n", child);
            ::kill(pid_t(child), SIGTERM);
        }
    }
    for (const auto& line : tarvo::test::fleetResults(out))
        figures.ok += line.result == QLatin1String("ok");
    if (figures.problem.isEmpty() && tool.exitStatus() == QProcess::CrashExit)
        figures.problem = QStringLiteral("the tool crashed");
    else if (figures.problem.isEmpty() && tool.exitCode() != 0)
        figures.problem = QStringLiteral("exit status %1").arg(tool.exitCode());
    return figures;
}

double mib(qint64 kib)
{
    return kib / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    for (const QString& a : app.arguments().mid(1))
        if (const int n = a.toInt(); n > 0 && n <= 254 * 4)
            counts.push_back(n);
    if (counts.empty())
        counts = {1, 10, 50};
    const QString cardA = sampleCard(QStringLiteral("A"));

    bool allOk = true;
    double firstWall = 0;
    std::vector<Figures> all;
    for (int count : counts) {
        const Figures f = runFleet(count, cardA);
        if (firstWall == 0)
            firstWall = f.wall;
        all.push_back(f);
        const bool ok = f.problem.isEmpty() && f.ok == count;
        allOk = allOk && ok;
        std::printf("N=%-4d wall %7.2f s  ratio %.3f  tool peak %6.1f MB  server peak %6.1f MB  together %6.1f MB  "
                    "%d/%d ok%s%s\n",
                    count, f.wall, firstWall > 0 ? f.wall / firstWall : 0.0, mib(f.toolKib), mib(f.serverKib),
                    mib(f.toolKib + f.serverKib), f.ok, count, f.problem.isEmpty() ? "" : "  ",
                    qPrintable(f.problem));
        std::fflush(stdout);
    }
    const Figures& last = all.back();
    qint64 mostKib = 0;
    for (const Figures& f : all)
        mostKib = std::max(mostKib, f.toolKib + f.serverKib);
    std::printf("goal: N=%d within 1.5 x N=%d: %s (%.3f); tool + server under 200 MB: %s (at most %.1f MB)\n",
                last.controllers, all.front().controllers, allOk && last.wall <= 1.5 * firstWall ? "met" : "missed",
                firstWall > 0 ? last.wall / firstWall : 0.0, mib(mostKib) < 200 ? "met" : "missed", mib(mostKib));
    return allOk ? 0 : 1;
}
