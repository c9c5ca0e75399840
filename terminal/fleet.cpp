#include "terminal/fleet.h"

#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "pcside/server_supervisor.h"
#include "pcside/tftp_server_control.h"
#include "platform/qt_platform.h"
#include "terminal/controller_report.h"
#include "workflow/workflow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    }
    return kExitController;
}

// One controller's whole run, on the calling thread, through the fleet's
// one server.
Result runOne(const FleetOptions& options, const QString& address, const QString& archiveFolder,
              pcside::ServerSupervisor& server)
{
    QElapsedTimer clock;
    clock.start();
    platform::QtPlatform platform;
    link::ControllerLink link(platform);
    pcside::BackupStore store(platform);
    store.setFolder(archiveFolder);
    store.setRemembersPendingRestore(false);
    store.setArchiveToRestore(options.archive);
    Workflow workflow(platform, link, server, store);
    workflow.setServerShared(true);
    workflow.setTitle(QCoreApplication::applicationName());
    ControllerReport report(workflow, address, [](const QString& line) { say(stderr, line); });
    platform.messageBoxHandler = [&report](const QString& text, platform::MessageIcon) { report.sayError(text); };
    workflow.setPhase(options.mode == FleetOptions::Mode::Restore ? Workflow::Phase::Restore : Workflow::Phase::Backup);
    workflow.run(address);
    return {address, workflow.lastOutcome(), workflow.lastBackup(), clock.elapsed() / 1000.0};
}

// Waits ms, handling events meanwhile, through the platform's timer.
void waitMs(platform::Platform& platform, int ms)
{
    bool due = false;
    const std::unique_ptr<platform::Timer> timer = platform.createTimer();
    timer->onTick = [&due] { due = true; };
    timer->setInterval(ms);
    timer->setEnabled(true);
    while (!due)
        platform.doEvents();
}

}  // namespace

int runFleet(const FleetOptions& options)
{
    platform::QtPlatform platform;
    const QString archiveFolder = options.archiveFolder.isEmpty() ? platform.dataFolder() : options.archiveFolder;

    // The one server, started and listening before any controller is touched.
    pcside::TftpServerControl program(platform, [] { return QCoreApplication::applicationDirPath() + QLatin1Char('/'); });
    pcside::ServerSupervisor server(platform, program);
    std::vector<Result> results;
    for (const QString& a : options.addresses)
        results.push_back({a, Workflow::Outcome::PcNotReady, {}, 0});
    if (!server.start(archiveFolder, [&platform](int ms) { waitMs(platform, ms); })) {
        say(stderr, QStringLiteral("error: ") + server.failure());
    } else {
        // Up to options.parallel controllers at a time, each on a thread of
        // its own with its own event loop, link and workflow; the server's
        // lines reach each of them there.
        QEventLoop allDone;
        std::size_t next = 0;
        int running = 0;
        std::function<void()> startMore = [&] {
            while (running < options.parallel && next < results.size()) {
                const std::size_t index = next++;
                ++running;
                QThread* thread = QThread::create([&, index] {
                    results[index] = runOne(options, results[index].address, archiveFolder, server);
                });
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
        server.stop();
    }

    say(stdout, QStringLiteral("controller\tresult\tarchive\tbytes\tfiles\tseconds"));
    int status = kExitOk;
    for (const Result& r : results) {
        say(stdout, QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                        .arg(r.address, QLatin1String(resultName(r.outcome)),
                             r.archive.path.isEmpty() ? QStringLiteral("-") : r.archive.path)
                        .arg(r.archive.bytes)
                        .arg(r.archive.files)
                        .arg(r.seconds, 0, 'f', 1));
        if (status == kExitOk)
            status = exitFor(r.outcome);
    }
    return status;
}

}  // namespace tarvo::terminal
