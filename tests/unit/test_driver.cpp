// The Start/Continue driver: phases after every outcome, the button, the
// log header, the TFTP server's start and close, and closing the window
// during each kind of wait.
#include "workflow_fixture.h"
#include "workflow_probe.h"

#include "generated/version.h"
#include "terminal/controller_report.h"
#include "terminal/fleet.h"
#include "translations/loader.h"

#include <QtTest>

#include <algorithm>
#include <vector>

using namespace tarvo;

namespace {
const QByteArray kRelay = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";
const QString kTitle = QStringLiteral("Tarvo Configuration Updater, Rev %1.%2.%3")
                           .arg(tarvo::kVersionMajor)
                           .arg(tarvo::kVersionMinor)
                           .arg(tarvo::kVersionRevision);
const QString kFirmwareStopped = QStringLiteral("The laser's firmware is stopped: power-cycle the laser before using it.");
}

class TestDriver : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;

    void click() { f->rig->click(); }
    QString caption() const { return f->rig->controls.buttonCaption(); }

    // What the window looked like when it was closed, to prove the
    // interrupted run touched nothing afterwards.
    struct Snapshot {
        size_t progress, status, button, messages;
        QString log;
        int sendCount;
    };
    Snapshot snapshot()
    {
        return {f->controls().progressHistory.size(), f->controls().statusHistory.size(),
                f->controls().buttonHistory.size(), f->prompts().messages.size(), f->controls().log,
                int(f->rig->socket().sends.size())};
    }
    void expectUntouchedSince(const Snapshot& s)
    {
        QCOMPARE(f->controls().progressHistory.size(), s.progress);
        QCOMPARE(f->controls().statusHistory.size(), s.status);
        QCOMPARE(f->controls().buttonHistory.size(), s.button);
        QCOMPARE(f->prompts().messages.size(), s.messages);
        QCOMPARE(f->controls().log, s.log);
        QCOMPARE(int(f->rig->socket().sends.size()), s.sendCount);
        QVERIFY(!f->link().isConnected());
        QCOMPARE(f->rig->socket().state(), tarvo::platform::SocketState::Closed);
        QVERIFY(!f->rig->updater->workflow().isRunning());
    }

    // The terminal's fleet in virtual time: the runs one after the other
    // on one platform, a scripted shell for each connection.
    struct Fleet {
        std::vector<std::unique_ptr<test::FakeShell>> shells;
        QStringList said, summary;
        int status = -1;
    };
    void runFleet(const terminal::FleetOptions& options, Fleet& fleet)
    {
        f->platform().onSocketCreated = [this, &fleet](platform::VirtualSocket& socket) {
            fleet.shells.push_back(std::make_unique<test::FakeShell>(f->platform(), socket));
            fleet.shells.back()->onUpload = [this, &socket] {
                f->rig->server.receiveUpload(socket.peerAddress(), test::sampleArchive());
            };
        };
        terminal::FleetEnvironment environment;
        environment.platform = &f->platform();
        environment.platformForRun = [this] {
            return std::shared_ptr<platform::Platform>(&f->platform(), [](platform::Platform*) {});
        };
        environment.threads = false;
        environment.programFolder = platform::virtualProgramPath(QString());
        environment.report = [&fleet](const QString& line) { fleet.said << line; };
        environment.summary = [&fleet](const QString& line) { fleet.summary << line; };
        fleet.status = terminal::runFleet(options, environment);
        f->platform().onSocketCreated = {};
    }

private slots:
    void init() { f = std::make_unique<test::WorkflowFixture>(); }

    void aBackupThenARestore()
    {
        const auto t0 = f->platform().nowMs();
        click();
        QCOMPARE(caption(), QStringLiteral("Continue"));
        // The server's start (ready after 10 ms, seen at the next 20 ms
        // look), connection, login, preparation, relay, backup.
        QCOMPARE(f->platform().nowMs() - t0, 20 + 1 + 4000 + 5000 + 2000 + 11000);
        QCOMPARE(f->controls().log.left(4 + kTitle.size() + 2), QStringLiteral("\r\n\r\n") + kTitle + "\r\n");
        QCOMPARE(f->controls().linkState, QStringLiteral("Disconnected"));
        // The server ran for this run only: started first, serving the
        // archive folder by controller, minimised, closed at the end.
        QCOMPARE(f->platform().processes.size(), size_t(1));
        const auto& server = f->platform().processes[0];
        QCOMPARE(server.program, platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT")));
        QCOMPARE(server.arguments, (QStringList{"-v", "--root", f->platform().dataFolderValue, "--per-client",
                                                "--exit-with-parent", "--only-from", "10.0.0.5", "--max-stored",
                                                "4294967296"}));
        QVERIFY(f->controls().log.contains(QStringLiteral("[TFTP server] READY 69 ")));
        QCOMPARE(server.window, tarvo::platform::ProcessWindow::Minimized);
        QVERIFY(server.closed);
        QVERIFY(!f->rig->updater->server().isRunning());
        // The button was disabled once, for the whole run.
        QCOMPARE(f->controls().buttonHistory.size(), size_t(2));  // run start, run end
        QCOMPARE(f->controls().buttonHistory[0].text, QStringLiteral("disabled"));
        QCOMPARE(f->controls().buttonHistory[0].atMs, t0);
        QCOMPARE(f->controls().buttonHistory[1].text, QStringLiteral("enabled"));
        QCOMPARE(f->controls().buttonHistory[1].atMs, f->platform().nowMs());

        click();
        QCOMPARE(caption(), QStringLiteral("Start"));
        QCOMPARE(f->platform().processes.size(), size_t(2));
        QVERIFY(f->platform().processes[1].closed);
        QCOMPARE(f->controls().status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        // The restore sent the backup the first run verified and kept.
        const QStringList kept = f->history();
        QCOMPARE(kept.size(), 2);  // the fixture's, and this run's
        QCOMPARE(f->platform().fileData.value(kept.last()), test::sampleArchive());
        QCOMPARE(f->platform().fileData.value(f->archivePath()), test::sampleArchive());
        QVERIFY(!test::WorkflowProbe::serverWatch(f->workflow()).storedFrom(QStringLiteral("10.0.0.5")));  // a new server each run
    }

    void backupsInQuickSuccessionAreNamedInTimeOrder()
    {
        for (int run = 0; run < 3; ++run) {
            f->workflow().setPhase(workflow::Workflow::Phase::Backup);
            click();
        }
        const QStringList kept = f->history();
        QCOMPARE(kept.size(), 4);  // the fixture's, and these three
        // The newest is last by name, and first in the menu.
        QCOMPARE(f->workflow().lastRun().backup.path, kept.last());
        QCOMPARE(f->store().backups().front().path, kept.last());
        QCOMPARE(f->store().backups().back().path, kept.first());
    }

    void aBackupTheSettingsCannotRememberIsSaidSo()
    {
        f->platform().settingsReadOnly = true;
        click();
        QVERIFY(f->controls().status().endsWith(QStringLiteral("\r\nThe PC's settings could not be written, so a restarted "
                                                               "tool will not know this backup: keep this window open "
                                                               "until Continue, or choose the backup again with \"Restore "
                                                               "an earlier backup…\".")));
        QCOMPARE(caption(), QStringLiteral("Continue"));
    }

    void aPendingRestoreSurvivesTheWindow()
    {
        click();
        QCOMPARE(caption(), QStringLiteral("Continue"));
        // The window closes after the backup; a new one comes up in the
        // Continue phase and names the backup it will restore.
        {
            test::RecordingView again;
            window::Updater restarted(f->platform(), f->prompts());
            again.watch(restarted.workflow());
            restarted.load();
            QCOMPARE(again.buttonCaption(), QStringLiteral("Continue"));
            QVERIFY2(again.status().startsWith(QStringLiteral("The backup of laser 10.0.0.5 (hardware 02:00:0a:00:00:05) from ")), qPrintable(again.status()));
        }
        click();
        QVERIFY(f->shell->lines.contains("tar xvzf /media/config.tgz"));
        QCOMPARE(caption(), QStringLiteral("Start"));
        // Restored: a later start is a backup again.
        test::RecordingView later;
        window::Updater restarted(f->platform(), f->prompts());
        later.watch(restarted.workflow());
        restarted.load();
        QCOMPARE(later.buttonCaption(), QStringLiteral("Start"));
    }

    void theServerMustBeReadyBeforeTheLaserIsTouched_data()
    {
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("exits");
        QTest::addColumn<QString>("message");
        QTest::newRow("port in use") << "FAILED port-in-use 69" << true << "UDP port 69 is in use by another program";
#ifdef Q_OS_WIN
        QTest::newRow("no permission") << "FAILED permission 69" << true
                                       << "OpenTFTPServerMT.exe may not open UDP port 69: another program holds it";
#else
        QTest::newRow("no permission") << "FAILED permission 69" << true
                                       << "sudo setcap cap_net_bind_service=+ep /opt/tarvo/OpenTFTPServerMT";
#endif
#ifdef Q_OS_WIN
        // The server names the folder in Qt's way; the operator reads Windows'.
        QTest::newRow("folder") << "FAILED folder-not-writable C:/Users/tech/x" << true
                                << "cannot write to the archive folder C:\\Users\\tech\\x";
#else
        QTest::newRow("folder") << "FAILED folder-not-writable /home/tech/x" << true
                                << "cannot write to the archive folder /home/tech/x";
#endif
        QTest::newRow("exits at once") << "cannot load library" << true << "did not start: cannot load library";
        QTest::newRow("silent") << QString() << false << "did not report within 5 s";
    }

    void theServerMustBeReadyBeforeTheLaserIsTouched()
    {
        QFETCH(QString, says);
        QFETCH(bool, exits);
        QFETCH(QString, message);
        f->rig->server.onStart = [&](tarvo::platform::VirtualPlatform::ProcessRecord& p) {
            const auto handle = p.handle;
            f->platform().scheduleIn(5, [this, handle, says, exits] {
                auto* process = f->platform().process(handle);
                if (!says.isEmpty())
                    process->say(says);
                if (exits)
                    process->exit(1);
            });
        };
        click();
        QVERIFY(f->rig->socket().sent.isEmpty());
        QCOMPARE(f->rig->socket().connectAttempts(), 0);
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].contains(message), qPrintable(f->messageTexts()[0]));
        QVERIFY(f->messageTexts()[0].contains(QStringLiteral("Nothing was sent to the laser.")));
        QVERIFY(f->platform().processes[0].closed);
        QVERIFY(f->controls().isButtonEnabled());
        QCOMPARE(caption(), QStringLiteral("Start"));
        // The label ends the run with its failure, like every failed run.
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed."));
    }

    void theServerTakesRequestsFromTheControllerOnly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("controller");  // where the name leads; empty: nowhere
        QTest::newRow("an address") << "10.0.0.5" << "10.0.0.5";
        QTest::newRow("a name") << "Laser-A.plant" << "10.0.0.5";
        QTest::newRow("a name that leads nowhere") << "laser-gone" << "";
        // Blanks around a pasted address are no part of it.
        QTest::newRow("blanks at the ends") << " 10.0.0.5 \t" << "10.0.0.5";
    }

    void theServerTakesRequestsFromTheControllerOnly()
    {
        QFETCH(QString, typed);
        QFETCH(QString, controller);
        f->platform().hostAddresses.insert(QStringLiteral("laser-a.plant"), QStringLiteral("10.0.0.5"));
        f->controls().setTargetAddress(typed);
        click();
        QCOMPARE(f->platform().hostLookups, QStringList{typed.trimmed()});
        if (controller.isEmpty()) {
            // Nothing to take requests from: no server, no connection.
            QCOMPARE(f->workflow().lastRun().outcome, workflow::Workflow::Outcome::NoConnection);
            QVERIFY(f->platform().processes.empty());
            QCOMPARE(f->rig->socket().connectAttempts(), 0);
            const QString cause = QStringLiteral("The name laser-gone leads to no IPv4 address (none found within 5 s). "
                                                 "Type the laser's IP address instead.");
            QCOMPARE(f->messageTexts(), QStringList{QStringLiteral("Error Connecting\n") + cause});
            QCOMPARE(f->controls().status(), QStringLiteral("Connection failed\r\n") + cause);
            const QString why = QStringLiteral("[Could not connect to laser-gone, TCP port 1138: the name leads to no "
                                               "IPv4 address (none found within 5 s)]");
            QVERIFY2(f->controls().log.endsWith(QStringLiteral("\r\n") + why), qPrintable(f->controls().log));
            QVERIFY(test::WorkflowProbe::transcript(f->workflow()).text().contains(why));
            return;
        }
        QCOMPARE(f->workflow().lastRun().outcome, workflow::Workflow::Outcome::Succeeded);
        const QStringList arguments = f->platform().processes.at(0).arguments;
        QCOMPARE(arguments.mid(arguments.indexOf(QStringLiteral("--only-from")), 2),
                 (QStringList{QStringLiteral("--only-from"), controller}));
        // The run connects where its server takes requests from.
        QCOMPARE(f->rig->socket().remoteHost(), controller);
        QVERIFY(test::WorkflowProbe::transcript(f->workflow()).text().contains(QStringLiteral(" of ") + typed.trimmed() + QLatin1Char('\n')));
    }

    void anEmptyAddressEndsTheRunAtOnce()
    {
        f->controls().setTargetAddress(QString());
        f->controls().setLinkState(QStringLiteral("as before"));
        click();
        QCOMPARE(f->controls().log, QStringLiteral("\r\n\r\n") + kTitle + "\r\n");
        QCOMPARE(f->messageTexts(), QStringList{"Please enter IP address of the laser."});
        QVERIFY(f->platform().processes.empty());
        QCOMPARE(f->controls().linkState, QStringLiteral("as before"));  // no disconnect
        QVERIFY(f->controls().isButtonEnabled());
        QCOMPARE(caption(), QStringLiteral("Start"));
    }

    void aFailedLoginSendsNothingElse()
    {
        f->shell->confirmationStatus = 1;
        click();
        QCOMPARE(f->shell->lines, (QList<QByteArray>{"", "root", "", "echo CMDVAL: $?"}));
        QCOMPARE(caption(), QStringLiteral("Start"));
        QCOMPARE(f->controls().status(), QStringLiteral("Login failed"));
        QVERIFY(f->platform().processes.at(0).closed);
        QVERIFY(!f->link().isConnected());
        QVERIFY(f->controls().isButtonEnabled());
    }

    void aRelayThatNeverOpens()
    {
        f->shell->status.insert(kRelay, 1);
        click();
        QList<QByteArray> expected{"killall laser.elf"};
        for (int i = 0; i < 3; ++i)
            expected << kRelay << "echo CMDVAL: $?";
        QCOMPARE(f->shell->afterLogin().mid(2), expected);
        QCOMPARE(f->messageTexts(), QStringList{"Opening Safety Relay failed"});
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::Critical);
        QVERIFY(f->platform().processes.at(0).closed);
        QVERIFY(!f->link().isConnected());
        QCOMPARE(caption(), QStringLiteral("Start"));
    }

    void aFailedRestoreKeepsContinueAndCanBeRetried()
    {
        f->workflow().setPhase(workflow::Workflow::Phase::Restore);
        f->shell->statusSequence.insert("tar xvzf /media/config.tgz", {1});
        click();
        QCOMPARE(caption(), QStringLiteral("Continue"));
        click();
        QCOMPARE(caption(), QStringLiteral("Start"));
    }

    void theCaptionShowsThePhase()
    {
        f->workflow().setPhase(workflow::Workflow::Phase::Restore);
        QCOMPARE(caption(), QStringLiteral("Continue"));
        click();
        QVERIFY(f->shell->lines.contains("tar xvzf /media/config.tgz"));
        QCOMPARE(caption(), QStringLiteral("Start"));
    }

    void aMissingServerProgramIsReportedOncePerRun()
    {
        f->platform().files.remove(platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT")));
        for (int run = 1; run <= 2; ++run) {
            const auto sentBefore = f->shell->afterLogin().size();
            click();
            QCOMPARE(f->messageTexts().count(QStringLiteral("Cannot find TFTP exe file.")), run);
            QCOMPARE(f->prompts().messages.back().icon, tarvo::workflow::MessageIcon::Critical);
            QCOMPARE(caption(), QStringLiteral("Start"));
            Q_UNUSED(sentBefore);
        }
        // Nothing reached the controller.
        QVERIFY(f->rig->socket().sent.isEmpty());
        QVERIFY(f->platform().processes.empty());
    }

    void theOutcomeNamesTheKindOfFailure_data()
    {
        using O = workflow::Workflow::Outcome;
        using S = workflow::RunStep;
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("endedIn");
        QTest::newRow("none") << "" << int(O::Succeeded) << int(S::Finishing);
        QTest::newRow("no address") << "address" << int(O::NoConnection) << int(S::CheckingAddress);
        QTest::newRow("server") << "server" << int(O::PcNotReady) << int(S::StartingServer);
        QTest::newRow("login") << "login" << int(O::LoginFailed) << int(S::LoggingIn);
        QTest::newRow("relay") << "relay" << int(O::ControllerFailed) << int(S::OpeningRelay);
        QTest::newRow("upload lost") << "upload" << int(O::BackupUnverified) << int(S::Verifying);
        QTest::newRow("restore without archive") << "archive" << int(O::ArchiveUnusable) << int(S::CheckingArchive);
    }

    void theOutcomeNamesTheKindOfFailure()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        if (fault == QLatin1String("address"))
            f->controls().setTargetAddress(QString());
        if (fault == QLatin1String("server"))
            f->rig->server.onStart = [](auto& p) { p.say(QStringLiteral("FAILED port-in-use 69")); };
        if (fault == QLatin1String("login"))
            f->shell->confirmationStatus = 1;
        if (fault == QLatin1String("relay"))
            f->shell->status.insert(kRelay, 1);
        if (fault == QLatin1String("upload"))
            f->shell->onUpload = nullptr;
        if (fault == QLatin1String("archive")) {
            f->platform().fileData.remove(f->keptPath());
            f->workflow().setPhase(workflow::Workflow::Phase::Restore);
        }
        // The steps come in their order, the run ends in the one that
        // failed, and then the run is in none.
        QFETCH(int, endedIn);
        std::vector<workflow::RunStep> steps;
        connect(&f->workflow(), &workflow::Workflow::stepChanged, this,
                [&steps](workflow::RunStep step) { steps.push_back(step); });
        click();
        QCOMPARE(int(f->workflow().lastRun().outcome), outcome);
        QVERIFY(steps.size() >= 2);
        QCOMPARE(steps.back(), workflow::RunStep::None);
        QCOMPARE(int(steps[steps.size() - 2]), endedIn);
        QVERIFY(std::is_sorted(steps.begin(), steps.end() - 1));
    }

    void aRunWithoutAWindowSendsTheSameLines()
    {
        click();
        const QList<QByteArray> windowRun = f->shell->lines;
        // The same workflow reported on a terminal, on a link of its own.
        QStringList said;
        link::ControllerLink link(f->platform(), f->platform());
        test::FakeShell shell(f->platform(), *f->platform().sockets.back());
        shell.onUpload = [this] { f->rig->server.receiveUpload(QStringLiteral("10.0.0.5"), test::sampleArchive()); };
        // Its server is the fleet's: started once, joined by the run, and
        // still listening after it.
        pcside::TftpServerControl program(f->platform(), f->platform(), [] { return platform::virtualProgramPath(QString()); });
        pcside::ServerSupervisor server(f->platform(), program);
        QVERIFY(server.start(QStringLiteral("/fleet"), {QStringLiteral("10.0.0.5")},
                             [this](int ms) { f->platform().runUntil(f->platform().nowMs() + ms); }));
        pcside::BackupStore store(f->platform(), f->platform());
        store.setFolder(QStringLiteral("/fleet"));
        store.setRemembersPendingRestore(false);
        workflow::Workflow headless(f->platform(), link, server, store, f->prompts(), {.serverShared = true});
        terminal::ControllerReport terminal(headless, QStringLiteral("10.0.0.5"), [&](const QString& line) { said << line; });
        headless.run(QStringLiteral("10.0.0.5"));
        QCOMPARE(headless.lastRun().outcome, workflow::Workflow::Outcome::Succeeded);
        QCOMPARE(shell.lines, windowRun);
        QVERIFY(server.isReady() && program.isRunning());
        QCOMPARE(f->platform().processes.size(), size_t(2));
        QVERIFY(headless.lastRun().backup.path.startsWith(QStringLiteral("/fleet/history/mac-02-00-0a-00-00-05/")));
        QCOMPARE(store.pendingRestore().archive, QString());
        QVERIFY(said.contains(QStringLiteral("[10.0.0.5]   0% Login to laser...")));
        QVERIFY2(said.last().startsWith(QStringLiteral("[10.0.0.5] 100% 1. Turn off the laser")), qPrintable(said.last()));
        terminal.sayError(QStringLiteral("Remounting Error,\r\nCode: 1"));
        QCOMPARE(said.last(), QStringLiteral("[10.0.0.5] error: Remounting Error, / Code: 1"));
    }

    void aFleetBacksUpEachControllerThroughOneServer()
    {
        terminal::FleetOptions options;
        options.addresses = QStringList{QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.6")};
        options.archiveFolder = QStringLiteral("/fleet");
        // The second controller's history cannot be written.
        f->platform().readOnlyFolders.insert(QStringLiteral("/fleet/history/mac-02-00-0a-00-00-06"));
        Fleet fleet;
        runFleet(options, fleet);
        QCOMPARE(fleet.status, int(terminal::kExitUnverified));
        // One server for both, closed after the last.
        QCOMPARE(f->platform().processes.size(), size_t(1));
        QVERIFY(f->platform().processes[0].closed);
        auto& shells = fleet.shells;
        const QStringList& summary = fleet.summary;
        const QStringList& said = fleet.said;
        QCOMPARE(shells.size(), size_t(2));
        QCOMPARE(shells[0]->lines, shells[1]->lines);
        QCOMPARE(summary.size(), 3);
        const QStringList first = summary[1].split(QLatin1Char('\t'));
        QCOMPARE(first.mid(0, 2), (QStringList{QStringLiteral("10.0.0.5"), QStringLiteral("ok")}));
        QVERIFY(first[2].startsWith(QStringLiteral("/fleet/history/mac-02-00-0a-00-00-05/")));
        QCOMPARE(first.mid(6), (QStringList{QStringLiteral("-"), QStringLiteral("02:00:0a:00:00:05")}));
        // A backup that cannot be kept is no backup: the server's upload
        // file would be replaced by the next upload from the address.
        const QStringList second = summary[2].split(QLatin1Char('\t'));
        QCOMPARE(second.mid(0, 2), (QStringList{QStringLiteral("10.0.0.6"), QStringLiteral("backup-unverified")}));
        // What a window would show in a box is the controller's error line.
        QVERIFY2(said.join('\n').contains(
                     QStringLiteral("[10.0.0.6] error: The backup on the PC is not usable: it could not be kept in "
                                    "/fleet/history/mac-02-00-0a-00-00-06")),
                 qPrintable(said.join('\n')));
        QVERIFY(f->prompts().messages.empty());
        QVERIFY(said.contains(QStringLiteral("[10.0.0.6]   0% Login to laser...")));
        // Each run's transcript, named by its controller, in the fleet's folder.
        const QStringList transcripts = f->platform().fileNames(QStringLiteral("/fleet/transcripts"));
        QCOMPARE(transcripts.size(), 2);
        QVERIFY(transcripts[0].endsWith(QStringLiteral("_10.0.0.5.log")) && transcripts[1].endsWith(QStringLiteral("_10.0.0.6.log")));
        // The window's pending restore is not the fleet's business.
        QVERIFY(!f->store().pendingRestore().isValid());
    }

    void aFleetsServerTakesRequestsFromItsControllersOnly()
    {
        // The names are looked up first; one that leads nowhere fails at
        // its name, and the server never hears of it.
        f->platform().hostAddresses.insert(QStringLiteral("laser-b"), QStringLiteral("10.0.0.6"));
        terminal::FleetOptions options;
        options.addresses = QStringList{QStringLiteral("10.0.0.5"), QStringLiteral("laser-b"), QStringLiteral("gone")};
        options.archiveFolder = QStringLiteral("/fleet");
        Fleet fleet;
        runFleet(options, fleet);
        QCOMPARE(fleet.status, int(terminal::kExitConnection));
        QCOMPARE(f->platform().processes.size(), size_t(1));
        // Four of the largest uploads for each controller.
        const QStringList arguments = f->platform().processes[0].arguments;
        QCOMPARE(arguments.mid(arguments.indexOf(QStringLiteral("--only-from")), 4),
                 (QStringList{"--only-from", "10.0.0.5,10.0.0.6", "--max-stored", "8589934592"}));
        QStringList results;
        for (const QString& row : fleet.summary.mid(1))
            results << row.section(QLatin1Char('\t'), 0, 1);
        QCOMPARE(results, (QStringList{"10.0.0.5\tok", "laser-b\tok", "gone\tno-connection"}));
        // With no controller found, no server is started at all.
        options.addresses = QStringList{QStringLiteral("gone")};
        Fleet none;
        runFleet(options, none);
        QCOMPARE(none.status, int(terminal::kExitConnection));
        QCOMPARE(f->platform().processes.size(), size_t(1));
    }

    void continueWritesOnlyOntoTheLaserOfItsBackup_data()
    {
        QTest::addColumn<QString>("address");     // where the laser is found on Continue
        QTest::addColumn<QString>("hardware");    // what it reads there; empty: unknown
        QTest::addColumn<bool>("answer");         // the operator's, when asked
        QTest::addColumn<QString>("question");    // how the question begins; empty: none
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("logged");
        const QString own = QStringLiteral("02:00:0a:00:00:05");
        const QString other = QStringLiteral("This is not the laser the backup was made of.");
        QTest::newRow("same laser, new address") << "10.0.0.7" << own << false << QString() << true
                                                 << "[same laser (hardware 02:00:0a:00:00:05), backed up at 10.0.0.5, now at 10.0.0.7]";
        QTest::newRow("same laser, same address") << "10.0.0.5" << own << false << QString() << true
                                                  << "[same laser (hardware 02:00:0a:00:00:05)]";
        QTest::newRow("another laser, not written") << "10.0.0.5" << "02:00:00:00:00:99" << false << other << false
                                                    << "[Not written: this laser was not confirmed";
        QTest::newRow("another laser, written as chosen")
            << "10.0.0.5" << "02:00:00:00:00:99" << true << other << true
            << "[writing the backup of laser 10.0.0.5 (hardware 02:00:0a:00:00:05) onto laser 10.0.0.5 (hardware "
               "02:00:00:00:00:99), as chosen]";
        QTest::newRow("cannot tell, not written")
            << "10.0.0.5" << QString() << false << "The tool cannot tell whether this is the laser" << false
            << "[Not written: this laser was not confirmed";
    }

    void continueWritesOnlyOntoTheLaserOfItsBackup()
    {
        QFETCH(QString, address);
        QFETCH(QString, hardware);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(bool, written);
        QFETCH(QString, logged);
        click();
        QCOMPARE(caption(), QStringLiteral("Continue"));
        // After the card swap.
        f->platform().identities[address]
            = hardware.isEmpty() ? platform::ControllerIdentity{}
                                 : platform::ControllerIdentity{platform::ControllerIdentity::Kind::Hardware, hardware};
        f->prompts().answer = [answer](const auto&) { return answer; };
        f->controls().setTargetAddress(address);
        const qsizetype linesBefore = f->shell->lines.size();
        click();
        if (question.isEmpty()) {
            QVERIFY(f->prompts().questions.empty());
        } else {
            QCOMPARE(f->prompts().questions.size(), size_t(1));
            const auto& asked = f->prompts().questions[0];
            QVERIFY2(asked.text.startsWith(question), qPrintable(asked.text));
            // Both lasers, and when the backup was made.
            for (const QString& named : {QStringLiteral("laser 10.0.0.5 (hardware 02:00:0a:00:00:05), made 20"),
                                         QStringLiteral("Connected: laser 10.0.0.5 (hardware ")})
                QVERIFY2(asked.text.contains(named), qPrintable(asked.text));
            QCOMPARE(asked.icon, workflow::MessageIcon::Critical);
            QCOMPARE(asked.no, QStringLiteral("Do not write"));
        }
        QVERIFY2(f->controls().log.contains(logged), qPrintable(f->controls().log.right(400)));
        if (written) {
            QCOMPARE(f->workflow().lastRun().outcome, workflow::Workflow::Outcome::Succeeded);
            QCOMPARE(caption(), QStringLiteral("Start"));
            return;
        }
        // Not one line went to the laser, and the backup still waits.
        QCOMPARE(f->shell->lines.size(), linesBefore);
        QCOMPARE(f->workflow().lastRun().outcome, workflow::Workflow::Outcome::OtherLaser);
        QCOMPARE(caption(), QStringLiteral("Continue"));
        QVERIFY(f->store().pendingRestore().isValid());
        QVERIFY(f->prompts().messages.empty());
        QVERIFY(!f->link().isConnected());
    }

    void oneControllerUnderTwoNamesIsRefused_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("each its own") << QStringList{"laser-a", "10.0.0.6", "laser-c"} << QString();
        QTest::newRow("two spellings") << QStringList{"laser-a", "LASER-A"} << "'LASER-A' is given twice.";
        QTest::newRow("two names") << QStringList{"10.0.0.6", "laser-a", "cutter-1"}
                                   << "'laser-a' and 'cutter-1' are the same controller (10.0.0.5): two sessions on "
                                      "one controller would fight over its card.";
        QTest::newRow("a name and its address") << QStringList{"laser-a", "10.0.0.5"}
                                                << "'laser-a' and '10.0.0.5' are the same controller (10.0.0.5): two "
                                                   "sessions on one controller would fight over its card.";
        QTest::newRow("names that do not resolve") << QStringList{"gone-1", "gone-2"} << QString();
    }

    void oneControllerUnderTwoNamesIsRefused()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, refusal);
        const QMap<QString, QString> names{{"laser-a", "10.0.0.5"}, {"cutter-1", "10.0.0.5"}, {"laser-c", "10.0.0.7"},
                                           {"10.0.0.5", "10.0.0.5"}, {"10.0.0.6", "10.0.0.6"}};
        QCOMPARE(terminal::sameControllerTwice(addresses, [&](const QString& a) { return names.value(a.toLower()); }),
                 refusal);
    }

    void aRestoreWithoutAWindowFindsTheLaserByItsHardware()
    {
        // The fixture's laser is backed up; then found on another address.
        terminal::FleetOptions options;
        options.mode = terminal::FleetOptions::Mode::Restore;
        options.addresses = QStringList{QStringLiteral("10.0.0.7")};
        f->platform().identities[QStringLiteral("10.0.0.7")] = platform::VirtualPlatform::onLink(QStringLiteral("10.0.0.5"));
        Fleet found;
        runFleet(options, found);
        QCOMPARE(found.status, int(terminal::kExitOk));
        const QStringList row = found.summary.value(1).split(QLatin1Char('\t'));
        QCOMPARE(row.value(1), QStringLiteral("ok"));
        QCOMPARE(row.value(2), f->keptPath());
        QCOMPARE(row.value(7), QStringLiteral("02:00:0a:00:00:05"));

        // Another laser on the backed-up one's address is refused, and
        // not one line is sent to it, unless that is allowed.
        options.addresses = QStringList{QStringLiteral("10.0.0.5")};
        f->platform().identities[QStringLiteral("10.0.0.5")] = platform::VirtualPlatform::onLink(QStringLiteral("10.0.0.9"));
        Fleet refused;
        runFleet(options, refused);
        QCOMPARE(refused.status, int(terminal::kExitOtherLaser));
        QCOMPARE(refused.summary.value(1).split(QLatin1Char('\t')).value(1), QStringLiteral("other-laser"));
        QCOMPARE(refused.shells.size(), size_t(1));
        QVERIFY(refused.shells[0]->lines.isEmpty());
        QVERIFY(f->prompts().questions.empty());
        QVERIFY(refused.said.join('\n').contains(QStringLiteral("--allow-other-laser")));
        // Allowed, the tool still never chooses another laser's backup:
        // the operator names it.
        options.allowOtherLaser = true;
        Fleet unnamed;
        runFleet(options, unnamed);
        QCOMPARE(unnamed.status, int(terminal::kExitOtherLaser));
        QVERIFY(unnamed.shells[0]->lines.isEmpty());
        QVERIFY(unnamed.said.join('\n').contains(QStringLiteral("name the backup to write with --archive")));
        options.archive = f->keptPath();
        Fleet allowed;
        runFleet(options, allowed);
        QCOMPARE(allowed.status, int(terminal::kExitOk));
        QVERIFY2(allowed.summary.value(1).contains(QStringLiteral("[writing the backup of laser 10.0.0.5 (hardware "
                                                                   "02:00:0a:00:00:05) onto laser 10.0.0.5 (hardware "
                                                                   "02:00:0a:00:00:09), as chosen]")),
                 qPrintable(allowed.summary.value(1)));

        // No backup at all is the PC side's failure, as before.
        f->platform().fileData.remove(f->keptPath());
        Fleet none;
        runFleet(options, none);
        QCOMPARE(none.status, int(terminal::kExitPcSide));
    }

    void theLinesSentAreTheSameInGerman()
    {
        // A backup and a restore in English, then in German: only what the
        // operator reads is translated, never what the controller is sent.
        click();
        click();
        const QList<QByteArray> english = f->shell->lines;
        QVERIFY(translations::install(*QCoreApplication::instance(), QLocale(QStringLiteral("de"))));
        f = std::make_unique<test::WorkflowFixture>();
        click();
        const QString swap = f->controls().status();
        click();
        const QString done = f->controls().status();
        translations::install(*QCoreApplication::instance(), QLocale::c());
        QVERIFY2(swap.startsWith(QStringLiteral("1. Laser ausschalten")), qPrintable(swap));
        QCOMPARE(done, QStringLiteral("Konfigurationsdaten geschrieben. Bitte den Laser aus- und wieder einschalten."));
        QVERIFY(!english.isEmpty());
        QCOMPARE(f->shell->lines, english);
    }

    void serverControlGuards()
    {
        auto& server = f->rig->updater->server();
        // Closing with none started does nothing.
        server.stop();
        QVERIFY(f->platform().closedWindowTitles.empty());

        const auto start = [&] { return server.start({}, {}, {}); };
        QVERIFY(start());
        QVERIFY(start());  // no second server while one runs
        QCOMPARE(f->platform().processes.size(), size_t(1));
        server.stop();
        QCOMPARE(f->platform().closedWindowTitles, std::vector<QString>{platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT"))});
        QVERIFY(start());
        QCOMPARE(f->platform().processes.size(), size_t(2));
    }

    void anUnexpectedFaultEndsTheRunWithTheButtonEnabled()
    {
        f->shell->status.insert(kRelay, 1);
        f->prompts().onMessageBox = [](const auto&) { throw std::runtime_error("message box failed"); };
        click();
        QVERIFY(f->controls().log.contains(QStringLiteral("unexpected fault: message box failed")));
        QCOMPARE(f->workflow().lastRun().outcome, workflow::Workflow::Outcome::ControllerFailed);
        QVERIFY(f->controls().isButtonEnabled());
        QVERIFY(!f->link().isConnected());
        QVERIFY(!f->rig->updater->workflow().isRunning());
    }

    // ---------------------------------------------- closing during a run

    void closingDuringTheConnectionWait()
    {
        f->rig->socket().onConnectRequested = [](tarvo::platform::VirtualSocket&) {};  // no answer
        Snapshot s{};
        f->platform().scheduleIn(1500, [&] {
            f->rig->updater->unload();
            s = snapshot();
        });
        click();
        QCOMPARE(f->platform().nowMs(), 1500);
        expectUntouchedSince(s);
        QVERIFY(f->prompts().messages.empty());  // no "Error Connecting"
    }

    void closingDuringADelay()
    {
        Snapshot s{};
        f->platform().scheduleIn(2700, [&] {  // while login waits
            f->rig->updater->unload();
            s = snapshot();
        });
        click();
        expectUntouchedSince(s);
        f->platform().runUntil(f->platform().nowMs() + 30000);
        QVERIFY(!f->shell->lines.contains("killall laser.elf"));
        // Nothing on the laser had changed: the next start has nothing to say.
        window::Updater next(f->platform(), f->prompts());
        next.load();
        QCOMPARE(test::WorkflowProbe::status(next.workflow()), QStringLiteral("Status: "));
    }

    void closingWhileAMessageBoxIsOpen()
    {
        f->shell->confirmationStatus = 1;
        Snapshot s{};
        f->prompts().onMessageBox = [&](const auto&) {
            f->rig->updater->unload();
            s = snapshot();
        };
        click();
        expectUntouchedSince(s);
        QVERIFY(f->controls().status() != QStringLiteral("Login failed"));
    }

    void closingDuringTheTimedWaitAfterAServerStarted()
    {
        // Close in the middle of the backup's tftp step: the server started
        // for the run is closed by the shut-down.
        Snapshot s{};
        f->platform().scheduleIn(1 + 4000 + 5000 + 2000 + 9500, [&] {
            f->rig->updater->unload();
            s = snapshot();
        });
        click();
        expectUntouchedSince(s);
        QVERIFY(f->platform().processes.at(0).closed);
        QCOMPARE(caption(), QStringLiteral("Start"));
        // The run's record is kept, with the step it was cut short in ...
        const QString folder = test::WorkflowProbe::transcriptFolder(f->workflow());
        QCOMPARE(f->platform().fileNames(folder).size(), 1);
        const QString record = QString::fromUtf8(f->platform().fileData.value(folder + QLatin1Char('/')
                                                                               + f->platform().fileNames(folder)[0]));
        QVERIFY2(record.contains(QStringLiteral("the window was closed during: Reading config data from the laser...")),
                 qPrintable(record));
        // ... and the next start names the laser left stopped, once.
        const auto nextStart = [this] {
            window::Updater next(f->platform(), f->prompts());
            next.load();
            return test::WorkflowProbe::status(next.workflow());
        };
        const QString told = nextStart();
        QVERIFY2(told.startsWith(QStringLiteral("The last backup, of laser 10.0.0.5 (hardware 02:00:0a:00:00:05), was "
                                                "cut short at ")),
                 qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("during \"Reading config data from the laser...\". The laser was left "
                                             "with its firmware stopped and its safety relay open: power-cycle it")));
        QCOMPARE(nextStart(), QStringLiteral("Status: "));
    }

    void closingDuringWaitWithProgress()
    {
        Snapshot s{};
        f->platform().scheduleIn(1 + 4000 + 2500, [&] {  // preparation's five seconds
            f->rig->updater->unload();
            s = snapshot();
        });
        click();
        expectUntouchedSince(s);
        QVERIFY(!f->shell->lines.contains(kRelay));
    }
};

QTEST_GUILESS_MAIN(TestDriver)
#include "test_driver.moc"
