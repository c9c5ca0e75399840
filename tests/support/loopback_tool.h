#pragma once
// Staging the real programs on loopback: a program folder holding the TFTP
// server with its settings file (a free unprivileged port), and the
// simulated controller on its fixed shell port. Shared by the end-to-end
// tests and the benchmarks.

#include "simulator_process.h"

#include "link/controller_link.h"
#include "platform/qt_platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>


namespace tarvo::test {


inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// A program folder with OpenTFTPServerMT set to serve it on 127.0.0.1.
struct ProgramFolder {
    QTemporaryDir dir;
    quint16 tftpPort = 0;

    // bind: the address the server listens on; port: its UDP port (0: a
    // free one).
    bool stage(const QString& bind = QStringLiteral("127.0.0.1"), quint16 port = 0)
    {
        if (!dir.isValid()
            || !QFile::copy(QStringLiteral(TARVO_SERVER_PROGRAM), dir.filePath(QStringLiteral("OpenTFTPServerMT"))))
            return false;
        tftpPort = port ? port : freeUdpPort();
        QFile ini(dir.filePath(QStringLiteral("OpenTFTPServerMT.ini")));
        return ini.open(QIODevice::WriteOnly)
               && ini.write(QStringLiteral("Port=%1\nBind=%2\n").arg(tftpPort).arg(bind).toLatin1()) > 0;
    }
#ifdef TARVO_TOOL_PROGRAM
    // The tool beside its server, as it is installed: it finds the server
    // there and runs without a window with --backup and --restore.
    bool stageTool() { return QFile::copy(QStringLiteral(TARVO_TOOL_PROGRAM), tool()); }
    QString tool() const { return dir.filePath(QStringLiteral("tarvo-config-updater")); }
#endif
    QString path(const QString& name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
    // The tool's archive folder, and where its server files a controller's upload.
    QString archives() const { return dir.filePath(QStringLiteral("archives")); }
    QString archive(const QString& controller) const
    {
        return archives() + QLatin1Char('/') + controller + QStringLiteral("/config.tgz");
    }
    // Points the tool at this program folder and its archive folder.
    void use(platform::QtPlatform& platform) const
    {
        platform.appPathOverride = dir.path();
        platform.dataFolderOverride = archives();
    }
};

// When the tool sent each line to the controller and when the controller's
// text last arrived, in milliseconds on a clock of its own: the long steps
// are timed with it.
class LinkTimeline {
public:
    explicit LinkTimeline(link::ControllerLink& link)
    {
        clock_.start();
        QObject::connect(&link, &link::ControllerLink::lineSent, &context_,
                         [this](const QByteArray& line) { sent_.append({nowMs(), line}); });
        QObject::connect(&link, &link::ControllerLink::textReceived, &context_,
                         [this](const QString&) { lastArrivalMs_ = nowMs(); });
    }

    double nowMs() const { return double(clock_.nsecsElapsed()) / 1e6; }
    // When the controller's text last arrived (-1: never).
    double lastArrivalMs() const { return lastArrivalMs_; }
    // When the first line beginning with prefix was sent (-1: never).
    double sentAt(const QByteArray& prefix) const
    {
        for (const auto& [at, line] : sent_)
            if (line.startsWith(prefix))
                return at;
        return -1;
    }
    // How long the first status step whose command begins with prefix took:
    // from its command to the next command (its status request aside), or
    // to now when it was the last one; -1 when it was never sent.
    double stepMs(const QByteArray& prefix) const
    {
        for (qsizetype i = 0; i < sent_.size(); ++i) {
            if (!sent_[i].second.startsWith(prefix))
                continue;
            for (qsizetype j = i + 1; j < sent_.size(); ++j)
                if (sent_[j].second != "echo CMDVAL: $?")
                    return sent_[j].first - sent_[i].first;
            return nowMs() - sent_[i].first;
        }
        return -1;
    }

private:
    QObject context_;
    QElapsedTimer clock_;
    QList<QPair<double, QByteArray>> sent_;
    double lastArrivalMs_ = -1;
};

// One line of the table the tool prints on stdout after a headless run.
struct FleetResult {
    QString controller, result, archive;
    qint64 bytes = -1;
    int files = -1;
    double seconds = -1;
    QString notes;
    QString hardware;
};

// The tool's result lines in the order printed; empty when the header line
// is missing or a line has not eight fields.
inline QList<FleetResult> fleetResults(const QByteArray& out)
{
    QList<QByteArray> lines = out.split('\n');
    lines.removeAll(QByteArray());
    if (lines.isEmpty() || lines[0] != "controller\tresult\tarchive\tbytes\tfiles\tseconds\tnotes\thardware")
        return {};
    QList<FleetResult> results;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        if (f.size() != 8)
            return {};
        results.append({QString::fromUtf8(f[0]), QString::fromUtf8(f[1]), QString::fromUtf8(f[2]), f[3].toLongLong(),
                        f[4].toInt(), f[5].toDouble(), QString::fromUtf8(f[6]), QString::fromUtf8(f[7])});
    }
    return results;
}

#ifdef TARVO_TOOL_PROGRAM
// A run of the tool without a window, as a technician's script starts it:
// its settings under configHome, its archives in the program folder's.
struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
    QList<FleetResult> results;
};

inline ToolRun runTool(const ProgramFolder& program, const QStringList& arguments, const QString& configHome)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(env);
    tool.setWorkingDirectory(program.path());
    tool.start(program.tool(), arguments + QStringList{QStringLiteral("--archive-dir"), program.archives()});
    ToolRun run;
    if (!tool.waitForFinished(100000)) {
        tool.kill();  // this PID only; its server dies with it
        tool.waitForFinished(3000);
        return run;
    }
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = tool.readAllStandardOutput();
    run.err = tool.readAllStandardError();
    run.results = fleetResults(run.out);
    return run;
}
#endif

// The controller listens on its fixed shell port on an address of its own
// in the loopback range, so that nothing else on 127.0.0.1 is in the way;
// tests that may run at the same time each take a different one.
inline bool startOnShellPort(SimulatorProcess& sim, const QString& address, const QString& card,
                             quint16 tftpPort, const QStringList& extra = {})
{
    return sim.start(QStringList{"--bind", address, "--port", "1138", "--card", card, "--tftp-port",
                                 QString::number(tftpPort)} + extra);
}

}  // namespace tarvo::test
