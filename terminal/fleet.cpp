#include "terminal/fleet.h"

#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "pcside/laser_identity.h"
#include "pcside/server_supervisor.h"
#include "pcside/tftp_server_control.h"
#include "platform/qt_platform.h"
#include "terminal/controller_report.h"
#include "terminal/terminal_prompts.h"
#include "workflow/workflow.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

namespace tarvo::terminal {

namespace {

using workflow::Workflow;

void say(FILE* stream, const QString& line)
{
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

struct Result {
    QString address;
    Workflow::Outcome outcome = Workflow::Outcome::NoConnection;
    Workflow::Backup archive;
    double seconds = 0;
    QStringList recordProblems;
    platform::ControllerIdentity identity;
};

const char* resultName(Workflow::Outcome o)
{
    switch (o) {
    case Workflow::Outcome::Succeeded: return "ok";
    case Workflow::Outcome::PcNotReady: return "pc-not-ready";
    case Workflow::Outcome::ArchiveUnusable: return "archive-unusable";
    case Workflow::Outcome::NoConnection: return "no-connection";
    case Workflow::Outcome::LoginFailed: return "login-failed";
    case Workflow::Outcome::ControllerFailed: return "controller-failed";
    case Workflow::Outcome::BackupUnverified: return "backup-unverified";
    case Workflow::Outcome::OtherLaser: return "other-laser";
    }
    return "unknown";
}

int exitFor(Workflow::Outcome o)
{
    switch (o) {
    case Workflow::Outcome::Succeeded: return kExitOk;
    case Workflow::Outcome::PcNotReady:
    case Workflow::Outcome::ArchiveUnusable: return kExitPcSide;
    case Workflow::Outcome::NoConnection:
    case Workflow::Outcome::LoginFailed: return kExitConnection;
    case Workflow::Outcome::ControllerFailed: return kExitController;
    case Workflow::Outcome::BackupUnverified: return kExitUnverified;
    case Workflow::Outcome::OtherLaser: return kExitOtherLaser;
    }
    return kExitController;
}

// One controller's whole run, on the calling thread, through the fleet's
// one server.
Result runOne(const FleetOptions& options, const FleetEnvironment& environment, const QString& address,
              const QString& archiveFolder, pcside::ServerSupervisor& server)
{
    const std::shared_ptr<platform::Platform> platform = environment.platformForRun();
    const std::int64_t started = platform->eventLoop().nowMs();
    link::ControllerLink link(platform->eventLoop(), platform->network());
    pcside::BackupStore store(platform->fileSystem(), platform->settingsStore());
    store.setFolder(archiveFolder);
    store.setRemembersPendingRestore(false);
    store.setArchiveToRestore(options.archive);
    // What a window would show in a box is a line of the controller's report.
    std::function<void(const QString&)> onMessage = [](const QString&) {};
    TerminalPrompts prompts([&onMessage](const QString& text) { onMessage(text); });
    Workflow workflow(*platform, link, server, store, prompts);
    workflow.setServerShared(true);
    workflow.setOtherLaserPolicy(options.allowOtherLaser ? Workflow::OtherLaserPolicy::Allow
                                                         : Workflow::OtherLaserPolicy::Refuse);
    // The records of a fleet given its own folder go there too.
    if (!options.archiveFolder.isEmpty())
        workflow.setTranscriptFolder(archiveFolder + QStringLiteral("/transcripts"));
    workflow.setTitle(QCoreApplication::applicationName());
    workflow.setCommandName(environment.commandName);
    ControllerReport report(workflow, address, environment.report);
    onMessage = [&report](const QString& text) { report.sayError(text); };
    workflow.setPhase(options.mode == FleetOptions::Mode::Restore ? Workflow::Phase::Restore : Workflow::Phase::Backup);
    workflow.run(address);
    onMessage = [](const QString&) {};
    for (const QString& problem : workflow.recordProblems())
        report.sayWarning(problem);
    return {address, workflow.lastOutcome(), workflow.lastBackup(), (platform->eventLoop().nowMs() - started) / 1000.0,
            workflow.recordProblems(), workflow.controllerIdentity()};
}

// Waits ms, handling events meanwhile, through the platform's timer.
void waitMs(platform::EventLoop& events, int ms)
{
    const std::unique_ptr<platform::Timer> timer = events.createTimer();
    platform::pumpUntil(*timer, ms, [&events] { events.doEvents(); });
}

// Up to options.parallel controllers at a time, each on a thread of its
// own with its own event loop, platform, link and workflow; the server's
// lines reach each of them there.
void runOnThreads(const FleetOptions& options, std::vector<Result>& results,
                  const std::function<Result(const QString&)>& runOne)
{
    QEventLoop allDone;
    std::size_t next = 0;
    int running = 0;
    std::function<void()> startMore = [&] {
        while (running < options.parallel && next < results.size()) {
            const std::size_t index = next++;
            ++running;
            QThread* thread = QThread::create([&, index] { results[index] = runOne(results[index].address); });
            QObject::connect(thread, &QThread::finished, &allDone, [&, thread] {
                thread->deleteLater();
                --running;
                startMore();
                if (running == 0 && next == results.size())
                    allDone.quit();
            });
            thread->start();
        }
    };
    startMore();
    if (running > 0)
        allDone.exec();
}

}  // namespace

int runFleet(const FleetOptions& options, const FleetEnvironment& environment)
{
    platform::Platform& platform = *environment.platform;
    const QString archiveFolder = options.archiveFolder.isEmpty() ? platform.fileSystem().dataFolder() : options.archiveFolder;

    // The one server, started and listening before any controller is touched.
    const QString programFolder = environment.programFolder;
    pcside::TftpServerControl program(platform.processLauncher(), platform.fileSystem(), [programFolder] { return programFolder; });
    pcside::ServerSupervisor server(platform.eventLoop(), program);
    std::vector<Result> results;
    for (const QString& a : options.addresses)
        results.push_back({a, Workflow::Outcome::PcNotReady, {}, 0, {}, {}});
    // A restore's server only serves: nobody can replace what a laser is
    // to fetch.
    const auto uploads = options.mode == FleetOptions::Mode::Restore ? pcside::ServerSupervisor::Uploads::Refused
                                                                     : pcside::ServerSupervisor::Uploads::Taken;
    // It takes requests from the fleet's controllers only. A name that
    // leads nowhere is left out: its run ends at its name, before the
    // server is needed; with none found, no server is started at all.
    QStringList peers;
    for (const QString& a : options.addresses) {
        const QString found = platform.network().lookUpIPv4(a, Workflow::kLookUpMs);
        if (!found.isEmpty() && !peers.contains(found))
            peers << found;
    }
    if (!peers.isEmpty()
        && !server.start(archiveFolder, peers, [&platform](int ms) { waitMs(platform.eventLoop(), ms); }, uploads)) {
        environment.report(QStringLiteral("error: ") + server.failure());
    } else {
        const auto one = [&](const QString& address) {
            return runOne(options, environment, address, archiveFolder, server);
        };
        if (environment.threads) {
            runOnThreads(options, results, one);
        } else {
            for (Result& r : results)
                r = one(r.address);
        }
        server.stop();
    }

    environment.summary(QStringLiteral("controller\tresult\tarchive\tbytes\tfiles\tseconds\tnotes\thardware"));
    int status = kExitOk;
    for (const Result& r : results) {
        QString notes = r.recordProblems.join(QStringLiteral("; "));
        notes.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QString hardware = pcside::identityToText(r.identity);
        environment.summary(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8")
                        .arg(r.address, QLatin1String(resultName(r.outcome)),
                             r.archive.path.isEmpty() ? QStringLiteral("-") : r.archive.path)
                        .arg(r.archive.bytes)
                        .arg(r.archive.files)
                        .arg(r.seconds, 0, 'f', 1)
                        .arg(notes.isEmpty() ? QStringLiteral("-") : notes,
                             hardware.isEmpty() ? QStringLiteral("-") : hardware));
        if (status == kExitOk)
            status = exitFor(r.outcome);
    }
    return status;
}

QString sameControllerTwice(const QStringList& addresses, const std::function<QString(const QString&)>& resolve)
{
    QStringList resolved;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        QString address = resolve(addresses[i]);
        for (qsizetype j = 0; j < i; ++j) {
            const bool sameName = addresses[i].compare(addresses[j], Qt::CaseInsensitive) == 0;
            if (sameName)
                return QStringLiteral("'%1' is given twice.").arg(addresses[i]);
            if (!address.isEmpty() && address == resolved[j])
                return QStringLiteral("'%1' and '%2' are the same controller (%3): two sessions on one controller "
                                      "would fight over its card.")
                    .arg(addresses[j], addresses[i], address);
        }
        resolved << address;
    }
    return {};
}

QString lookUpIPv4(const QString& name, int timeoutMs)
{
    platform::QtPlatform platform;
    return platform.lookUpIPv4(name, timeoutMs);
}

int runFleet(const FleetOptions& options)
{
    platform::QtPlatform platform;
    FleetEnvironment environment;
    environment.platform = &platform;
    environment.platformForRun = [] { return std::shared_ptr<platform::Platform>(std::make_shared<platform::QtPlatform>()); };
    environment.programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    environment.report = [](const QString& line) { say(stderr, line); };
    environment.summary = [](const QString& line) { say(stdout, line); };
    return runFleet(options, environment);
}

}  // namespace tarvo::terminal
