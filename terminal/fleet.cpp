#include "terminal/fleet.h"

#include "link/controller_link.h"
#include "platform/qt_platform.h"
#include "terminal/controller_report.h"
#include "workflow/tftp_server_control.h"
#include "workflow/server_watch.h"
#include "workflow/workflow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QTimer>

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

// The one TFTP server of a fleet run, shared by every controller's
// workflow: its lines reach each of them on its own thread.
class ServerHub {
public:
    struct Listener {
        QPointer<QObject> context;
        std::function<void(const QString&)> onLine;
        std::function<void(int)> onExit;
    };

    void add(const std::shared_ptr<Listener>& l)
    {
        const QMutexLocker lock(&mutex_);
        listeners_.push_back(l);
    }
    void remove(const std::shared_ptr<Listener>& l)
    {
        const QMutexLocker lock(&mutex_);
        std::erase(listeners_, l);
    }
    void broadcast(const QString& line, std::optional<int> exitCode)
    {
        const QMutexLocker lock(&mutex_);
        for (const auto& l : listeners_) {
            if (!l->context)
                continue;
            QMetaObject::invokeMethod(
                l->context,
                [l, line, exitCode] {
                    if (exitCode)
                        l->onExit(*exitCode);
                    else
                        l->onLine(line);
                },
                Qt::QueuedConnection);
        }
    }
    QString readyLine;
    QString programPath;

private:
    QMutex mutex_;
    std::vector<std::shared_ptr<Listener>> listeners_;
};

// The workflow's view of the shared server: already listening.
class SharedServer final : public workflow::TftpServer {
public:
    SharedServer(ServerHub& hub, QObject* context) : hub_(hub), context_(context) {}
    ~SharedServer() override { stop(); }

    bool start(const QStringList&, std::function<void(const QString&)> onLine, std::function<void(int)> onExit) override
    {
        listener_ = std::make_shared<ServerHub::Listener>(
            ServerHub::Listener{context_, std::move(onLine), std::move(onExit)});
        listener_->onLine(hub_.readyLine);
        hub_.add(listener_);
        return true;
    }
    void stop() override
    {
        if (listener_)
            hub_.remove(listener_);
        listener_.reset();
    }
    bool isRunning() const override { return listener_ != nullptr; }
    QString programPath() const override { return hub_.programPath; }

private:
    ServerHub& hub_;
    QObject* context_;
    std::shared_ptr<ServerHub::Listener> listener_;
};

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

// One controller's whole run, on the calling thread.
Result runOne(const FleetOptions& options, const QString& address, const QString& archiveFolder, ServerHub& hub)
{
    QElapsedTimer clock;
    clock.start();
    platform::QtPlatform platform;
    link::ControllerLink link(platform);
    SharedServer server(hub, &link);
    Workflow workflow(platform, link, server);
    workflow.setTitle(QCoreApplication::applicationName());
    ControllerReport report(workflow, address, [](const QString& line) { say(stderr, line); });
    platform.messageBoxHandler = [&report](const QString& text, platform::MessageIcon) { report.sayError(text); };
    workflow.setArchiveFolder(archiveFolder);
    workflow.setRemembersPendingRestore(false);
    if (options.mode == FleetOptions::Mode::Restore) {
        const QStringList kept = workflow.history(address);
        workflow.setArchiveToRestore(!options.archive.isEmpty() ? options.archive
                                     : kept.isEmpty()           ? workflow.controllerArchive(address)
                                                                : kept.last());
        workflow.setPhase(Workflow::Phase::Restore);
    } else {
        workflow.setPhase(Workflow::Phase::Backup);
    }
    workflow.run(address);
    return {address, workflow.lastOutcome(), workflow.lastBackup(), clock.elapsed() / 1000.0};
}

}  // namespace

int runFleet(const FleetOptions& options)
{
    platform::QtPlatform platform;
    const QString archiveFolder = options.archiveFolder.isEmpty() ? platform.dataFolder() : options.archiveFolder;

    // The one server, started and listening before any controller is touched.
    ServerHub hub;
    workflow::TftpServerControl serverControl(platform, [] { return QCoreApplication::applicationDirPath() + QLatin1Char('/'); });
    hub.programPath = serverControl.programPath();
    workflow::ServerWatch watch;
    watch.begin(hub.programPath);
    QEventLoop waitForServer;
    const bool started = serverControl.start(
        {QStringLiteral("-v"), QStringLiteral("--root"), archiveFolder, QStringLiteral("--per-client"),
         QStringLiteral("--exit-with-parent")},
        [&](const QString& line) {
            watch.readLine(line);
            if (watch.state() == workflow::ServerWatch::State::Ready && hub.readyLine.isEmpty())
                hub.readyLine = line;
            hub.broadcast(line, std::nullopt);
            if (watch.state() != workflow::ServerWatch::State::Starting)
                waitForServer.quit();
        },
        [&](int code) {
            watch.exited(code);
            hub.broadcast(QString(), code);
            waitForServer.quit();
        });
    if (started && watch.state() == workflow::ServerWatch::State::Starting) {
        QTimer::singleShot(Workflow::kServerReadyMs, &waitForServer, &QEventLoop::quit);
        waitForServer.exec();
    }
    std::vector<Result> results;
    for (const QString& a : options.addresses)
        results.push_back({a, Workflow::Outcome::PcNotReady, {}, 0});
    if (watch.state() != workflow::ServerWatch::State::Ready) {
        say(stderr, QStringLiteral("error: ") + (!started ? QStringLiteral("Cannot find TFTP exe file: ") + hub.programPath
                                                 : !watch.failure().isEmpty() ? watch.failure()
                                                 : QStringLiteral("the TFTP server did not report that it is ready")));
        serverControl.stop();
    } else {
        // Up to options.parallel controllers at a time, each on a thread of
        // its own with its own event loop, link and workflow.
        QEventLoop allDone;
        std::size_t next = 0;
        int running = 0;
        std::function<void()> startMore = [&] {
            while (running < options.parallel && next < results.size()) {
                const std::size_t index = next++;
                ++running;
                QThread* thread = QThread::create([&, index] {
                    results[index] = runOne(options, results[index].address, archiveFolder, hub);
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
        serverControl.stop();
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
