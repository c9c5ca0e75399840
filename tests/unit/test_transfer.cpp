// Backup and restore: the exact lines sent, durations, bar values, every
// failing step's message and code, and the controller's error lines, each
// within a whole run.
#include "workflow_fixture.h"
#include "workflow_probe.h"
#include "workflow/operator_texts.h"

#include "tftp/status_lines.h"

#include <QtTest>

using namespace tarvo;

namespace {
const QByteArray kMount = "mount -o remount /dev/mmcblk0p2 /zel";
const QByteArray kStatus = "echo CMDVAL: $?";
const QByteArray kTest = "test -d media/profiles;";
const QByteArray kTarFull = "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp";
const QByteArray kTarShort = "tar cvzf /media/config.tgz zel/*.conf media/*.conf ";
const QByteArray kPut = "tftp -p -l config.tgz 192.168.100.10";
const QByteArray kGet = "tftp -g -r config.tgz 192.168.100.10";
const QByteArray kUntar = "tar xvzf /media/config.tgz";
const QString kInstructions = QStringLiteral(
    "1. Turn off the laser and replace SD card. Do NOT close the application!\r\n"
    "2. Turn on the laser and verify/change IP address.\r\n"
    "3. Click the Continue button when done.");
// What a failed run adds to the label, the laser's firmware being stopped.
const QString kStopped = QStringLiteral("\r\nThe laser's firmware is stopped: power-cycle the laser before using it.");
}  // namespace

class TestTransfer : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;
    // When the transfer began: once the relay had opened.
    std::int64_t t0 = 0;
    // Nothing waits after the transfer: the run ends with it.
    std::int64_t elapsed() const { return f->platform().nowMs() - t0; }
    // The lines of the transfer.
    QList<QByteArray> lines() const { return f->shell->linesFrom(t0); }

    bool backup() { return run(workflow::Workflow::Phase::Backup); }
    bool restore() { return run(workflow::Workflow::Phase::Restore); }
    bool run(workflow::Workflow::Phase phase)
    {
        f->workflow().setPhase(phase);
        f->rig->click();
        t0 = f->controls().step(QStringLiteral("Opening the Safety Relay... ")).untilMs;
        return f->workflow().lastRun().outcome == workflow::Workflow::Outcome::Succeeded;
    }

    // The controller answers command, once it was sent, with these texts at
    // these offsets instead of its status.
    void answerLater(const QByteArray& command, const QList<QPair<int, QByteArray>>& answers)
    {
        f->shell->silentAfter.insert(command);
        f->shell->onCommand = [this, command, answers](const QByteArray& line) {
            if (line != command)
                return;
            commandSentMs = f->platform().nowMs();
            for (const auto& [atMs, text] : answers)
                f->rig->socket().deliverAt(commandSentMs + atMs, text);
        };
    }
    std::int64_t commandSentMs = 0;
    // The PC's server ends while the relay opens.
    void stopTheServerAtTheRelay()
    {
        f->shell->onCommand = [this](const QByteArray& line) {
            if (line.startsWith("echo -ne"))
                f->platform().process(f->rig->server.handle)->exit(1);
        };
    }

private slots:
    void init()
    {
        f = std::make_unique<test::WorkflowFixture>();
        // A complaint left over from earlier is forgotten when a transfer starts.
        f->shell->output.insert("killall laser.elf", "tftp: stale\r\n");
    }

    // ------------------------------------------------------------ backup

    void aBackupInWhichEveryStepSucceeds()
    {
        QVERIFY(backup());
        QCOMPARE(lines(), (QList<QByteArray>{kMount, kStatus, "cd /", kTest, kStatus, kTarFull, kStatus, "sync",
                                             kStatus, "cd /media", kPut, kStatus}));
        QCOMPARE(elapsed(), 11000);
        QVERIFY(f->controls().status().startsWith(kInstructions + QStringLiteral("\r\nBackup verified: ")));
        // The bar goes on filling while the PC checks what it received.
        QCOMPARE(f->controls().step(QStringLiteral("Reading config data from the laser... ")).bar,
                 (std::vector<double>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
        using tarvo::workflow::OperatorTexts;
        const qint64 bytes = test::sampleArchive().size();
        QCOMPARE(f->controls().step(OperatorTexts::reading() + OperatorTexts::checkingBackup(bytes)).next,
                 kInstructions + QStringLiteral("\r\nBackup verified: 2 files, ") + OperatorTexts::size(bytes));
        QVERIFY(f->prompts().messages.empty());
    }

    void withoutProfilesTheTarCommandEndsInABlank()
    {
        f->shell->status.insert(kTest, 1);
        QVERIFY(backup());
        QCOMPARE(lines()[5], kTarShort);
        QVERIFY(f->prompts().messages.empty());
    }

    void anUnansweredDirectoryTestKeepsTheTrees()
    {
        // Not knowing is no reason to leave the profiles behind.
        f->shell->silentAfter.insert(kTest);
        QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
        QCOMPARE(lines()[5], kTarFull);
        QCOMPARE(elapsed(), 11000 - 2000 + 22500);
    }

    void aBadStatusForTheDirectoryTestKeepsTheTrees()
    {
        f->shell->output.insert(kTest, QByteArray());
        f->shell->status.insert(kTest, 0);
        f->shell->silentAfter.insert(kTest);
        f->shell->output.insert(kTest, "CMDVAL: yes\r\n");
        QVERIFY(backup());
        QCOMPARE(lines()[5], kTarFull);
    }

    void anyOtherStatusLeavesTheTreesOut()
    {
        f->shell->status.insert(kTest, 2);
        QVERIFY(backup());
        QCOMPARE(lines()[5], kTarShort);
    }

    void failingBackupSteps_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("linesSent");
        QTest::addColumn<QString>("cause");
        const QString ended = QStringLiteral("The laser's command ended with status ");
        const QString silent = QStringLiteral("The laser did not answer this step in time");
        QTest::newRow("mount 1") << kMount << 1 << QStringLiteral("Remounting Error, Code: 1") << 2 << ended + "1;";
        QTest::newRow("mount silent") << kMount << -99 << QStringLiteral("Remounting Error, Code: -99") << 2 << silent;
        QTest::newRow("tar") << kTarFull << 2 << QStringLiteral("Creating Archive Error for config.tgz, Code: 2") << 7
                             << ended + "2;";
        QTest::newRow("sync") << QByteArray("sync") << 1 << QStringLiteral("Sync Error for config.tgz, Code: 1") << 9
                              << ended + "1;";
        QTest::newRow("tftp") << kPut << 1 << QStringLiteral("TFTP Read Error for config.tgz, Code: 1") << 12
                              << QStringLiteral("The laser's tftp ended with status 1: it did not reach the PC's TFTP "
                                                "server on UDP port 69");
        QTest::newRow("tftp silent") << kPut << -99 << QStringLiteral("TFTP Read Error for config.tgz, Code: -99") << 12
                                     << silent;
    }

    void failingBackupSteps()
    {
        QFETCH(QByteArray, command);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(int, linesSent);
        QFETCH(QString, cause);
        if (status == -99)
            f->shell->silentAfter.insert(command);
        else
            f->shell->status.insert(command, status);
        QVERIFY(!backup());
        // The step's own text, then why and what to do; the status keeps
        // the reason once the box is closed.
        QCOMPARE(f->messageHeadlines(), QStringList{message});
        const QString reason = f->messageTexts()[0].section(QLatin1Char('\n'), 1);
        QVERIFY2(reason.startsWith(cause) && reason.endsWith(QStringLiteral("Keep the old SD card in the laser; check "
                                                                            "the laser and the cable, then click Start "
                                                                            "again.")),
                 qPrintable(reason));
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::Critical);
        // Nothing is sent after the failing step.
        f->platform().runUntil(f->platform().nowMs() + 60000);
        QCOMPARE(lines().size(), linesSent);
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed.\r\n") + reason + kStopped);
        if (status == -99) {
            const int before = command == kMount ? 0 : 9000;
            QCOMPARE(f->prompts().messages[0].atMs - t0, before + 22500);
        }
    }

    // ------------------------------------------------- long steps


    void aTarThatKeepsListingIsNotCutOff()
    {
        QList<QPair<int, QByteArray>> listing;
        QList<QPair<QByteArray, QByteArray>> files{{"zel/laser.conf", "power=80\n"}, {"media/machine.conf", "name=test\n"}};
        for (int s = 2; s <= 60; s += 2) {
            const QByteArray name = "media/prv_bmp/job_" + QByteArray::number(s) + ".bmp";
            listing.append({s * 1000, name + "\r\n"});
            files.append({name, "BM"});
        }
        // The shell reads the request typed ahead once tar is done.
        listing.append({61000, "root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\n"});
        answerLater(kTarFull, listing);
        const QByteArray packed = test::makeArchive(files);
        f->shell->onUpload = [this, packed] { f->rig->server.receiveUpload(QStringLiteral("10.0.0.5"), packed); };
        QVERIFY(backup());
        QVERIFY(f->prompts().messages.empty());
    }

    void aTarThatFallsSilentFailsAtTheGiveUpAfterItsLastLine()
    {
        QList<QPair<int, QByteArray>> listing;
        for (int s = 2; s <= 40; s += 2)
            listing.append({s * 1000, "media/prv_bmp/job_" + QByteArray::number(s) + ".bmp\r\n"});
        answerLater(kTarFull, listing);
        QVERIFY(!backup());
        QCOMPARE(f->messageHeadlines(), QStringList{"Creating Archive Error for config.tgz, Code: -99"});
        // Counted from the line's arrival.
        QCOMPARE(f->prompts().messages[0].atMs - commandSentMs, 40000 + 22500);
        QVERIFY2(f->controls().log.contains(QStringLiteral("silent for 22.5 s")), qPrintable(f->controls().log.right(300)));
    }

    void aListingLongerThanAnyCardEndsTheStep()
    {
        // 64 KiB lines, one every 10 ms, never silent: the tool keeps no
        // more than 64 MB of them and gives the step up, long before the
        // 30-minute ceiling.
        const QByteArray line = "media/" + QByteArray(64 * 1024 - 8, 'x') + "\r\n";
        QList<QPair<int, QByteArray>> flood;
        for (int i = 0; i < 1100; ++i)
            flood.append({100 + 10 * i, line});
        answerLater(kTarFull, flood);
        QVERIFY(!backup());
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].startsWith(QStringLiteral("Creating Archive Error for config.tgz, Code: -99\nThe "
                                                                "laser printed more than 1000000 lines or 64 MB")),
                 qPrintable(f->messageTexts()[0]));
        QVERIFY(f->prompts().messages[0].atMs - commandSentMs < 100 + 10 * 1100);
        QCOMPARE(f->history(), QStringList{f->keptPath()});  // nothing kept
    }

    void aTransferThatReportsProgressIsNotCutOff()
    {
        answerLater(kPut, {{91000, "\r\nroot@laser:/media# echo CMDVAL: $?\r\nCMDVAL: 0\r\n"}});
        f->shell->onUpload = nullptr;
        // Once the put is sent, the server reports it every second.
        const auto answer = f->shell->onCommand;
        f->shell->onCommand = [this, answer](const QByteArray& line) {
            answer(line);
            if (line != kPut)
                return;
            const QString peer = QStringLiteral("10.0.0.5");
            const qint64 size = 90'000'000;
            for (int s = 1; s <= 90; ++s)
                f->platform().scheduleIn(s * 1000, [this, s, peer] {
                    f->rig->server.say(tftp::status::progressLine(tftp::status::kPut, s * 1'000'000LL, size, peer,
                                                                  QStringLiteral("/x/10.0.0.5/.part")));
                });
            f->platform().scheduleIn(90500, [this, peer] { f->rig->server.receiveUpload(peer, test::sampleArchive()); });
        };
        QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
        bool shown = false;
        for (const auto& s : f->controls().statusHistory)
            shown |= s.text.startsWith(QStringLiteral("Reading config data from the laser... ")) && s.text.contains(" of 90.0 MB");
        QVERIFY(shown);
    }

    void aControllerThatNeverStopsTalkingMeetsTheCeiling()
    {
        QList<QPair<int, QByteArray>> chatter;
        for (int s = 10; s <= 31 * 60; s += 10)
            chatter.append({s * 1000, "still packing\r\n"});
        answerLater(kTarFull, chatter);
        QVERIFY(!backup());
        QCOMPARE(f->prompts().messages[0].atMs - commandSentMs, 30 * 60 * 1000);
        QVERIFY(f->controls().log.contains(QStringLiteral("still at work after 30 minutes")));
    }

    void aTarErrorLineStaysOnTheLabel()
    {
        f->shell->status.insert(kTarFull, 1);
        f->shell->output.insert(kTarFull, "zel/a.conf\r\ntar: zel/b.conf: No such file or directory\r\n"
                                          "tar: error exit delayed from previous errors\r\n");
        QVERIFY(!backup());
        QCOMPARE(f->messageHeadlines(), QStringList{"Creating Archive Error for config.tgz, Code: 1"});
        QCOMPARE(f->controls().status(), QStringLiteral("tar: zel/b.conf: No such file or directory") + kStopped);
    }

    void aComplaintDuringAVerifiedBackupStaysInTheLog()
    {
        f->shell->output.insert(kPut, "tftp: short write, retrying\r\n");
        QVERIFY(backup());
        QVERIFY(f->controls().status().startsWith(kInstructions));
        QVERIFY(f->controls().log.contains(QStringLiteral("tftp: short write, retrying")));
    }

    void anUnusableUploadFailsTheBackup_data()
    {
        QTest::addColumn<QByteArray>("upload");
        QTest::addColumn<bool>("received");
        QTest::addColumn<QString>("problem");
        const QByteArray good = test::sampleArchive();
        QTest::newRow("cut in half") << good.left(good.size() / 2) << true << QStringLiteral("it is damaged");
        QTest::newRow("not an archive") << QByteArray("<html>404</html>") << true
                                        << QStringLiteral("it is not a gzip-compressed tar archive");
        QTest::newRow("no zel/*.conf") << test::makeArchive({{"media/machine.conf", "x"}}) << true
                                       << QStringLiteral("it holds no zel/*.conf file");
        QTest::newRow("went to another server") << good << false
                                                << QStringLiteral("the PC's TFTP server received no archive");
    }

    void anUnusableUploadFailsTheBackup()
    {
        QFETCH(QByteArray, upload);
        QFETCH(bool, received);
        QFETCH(QString, problem);
        f->shell->onUpload = [&] {
            if (received)
                f->rig->server.receiveUpload(QStringLiteral("10.0.0.5"), upload);
        };
        QVERIFY(!backup());
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].startsWith(QStringLiteral("The backup on the PC is not usable: ") + problem),
                 qPrintable(f->messageTexts()[0]));
        QVERIFY(f->messageTexts()[0].contains(QStringLiteral("Keep the old SD card")));
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed.\r\n") + f->messageTexts()[0] + kStopped);
        QCOMPARE(f->history(), QStringList{f->keptPath()});  // nothing added
        QVERIFY(!f->platform().settings.contains(QStringLiteral("Tarvo Configuration Updater/Restore/Archive"))
                || f->platform().settings.value(QStringLiteral("Tarvo Configuration Updater/Restore/Archive")).isEmpty());
    }

    // ------------------------------------------- the laser's own archive

    void onlyTheLasersOwnUploadIsTaken_data()
    {
        QTest::addColumn<QString>("other");  // when and from where another sender's upload is stored
        QTest::addColumn<QString>("problem");
        const QString two = QStringLiteral("the PC's TFTP server stored 2 uploads from 10.0.0.5 during this run, "
                                           "where the laser sent one: which of them is the laser's cannot be told");
        QTest::newRow("right after the laser's") << "after" << two;
        QTest::newRow("while tar packs") << "before" << two;
        QTest::newRow("the only one, before the tftp -p") << "instead"
                                                          << QStringLiteral("the PC's TFTP server received no archive");
        QTest::newRow("from another address") << "elsewhere" << QString();
        QTest::newRow("refused from another address") << "refused" << QString();
    }

    void onlyTheLasersOwnUploadIsTaken()
    {
        QFETCH(QString, other);
        QFETCH(QString, problem);
        const QString controller = QStringLiteral("10.0.0.5");
        const QByteArray small = test::makeArchive({{"zel/laser.conf", "type=fiber\n"}});
        auto& server = f->rig->server;
        // What the server says when it turns another host away.
        const QString refusal = QStringLiteral("2026-01-01 00:00:00.000 refused WRQ \"config.tgz\" from "
                                               "10.0.0.6:40000: error 2 (access violation: 10.0.0.6 is not a client "
                                               "of this server)");
        f->shell->onCommand = [&](const QByteArray& line) {
            if (line == kTarFull && other == QLatin1String("refused"))
                server.say(refusal);
            else if (line == kTarFull && other != QLatin1String("after"))
                server.receiveUpload(other == QLatin1String("elsewhere") ? QStringLiteral("10.0.0.6") : controller, small);
        };
        f->shell->onUpload = [&] {
            if (other != QLatin1String("instead"))
                server.receiveUpload(controller, test::sampleArchive());
            if (other == QLatin1String("after"))
                server.receiveUpload(controller, small);
        };
        if (problem.isEmpty()) {
            QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
            QVERIFY(f->controls().log.contains(QStringLiteral("(%1 bytes, 2 files)").arg(test::sampleArchive().size())));
            QVERIFY(f->controls().status().endsWith(
                QStringLiteral("\r\nBackup verified: 2 files, ")
                + tarvo::workflow::OperatorTexts::size(test::sampleArchive().size())));
            // Whatever the server said goes into the log and the run's record.
            if (other == QLatin1String("refused")) {
                QVERIFY(f->controls().log.contains(QStringLiteral("[TFTP server] ") + refusal));
                const QStringList saved = f->platform().fileNames(test::WorkflowProbe::transcriptFolder(f->workflow()));
                QCOMPARE(saved.size(), 1);
                const QString record = QString::fromUtf8(
                    f->platform().fileData.value(test::WorkflowProbe::transcriptFolder(f->workflow()) + QLatin1Char('/') + saved[0]));
                QVERIFY2(record.contains(QStringLiteral(" S ") + refusal + QLatin1Char('\n')), qPrintable(record));
            }
            return;
        }
        QVERIFY(!backup());
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].startsWith(QStringLiteral("The backup on the PC is not usable: ") + problem),
                 qPrintable(f->messageTexts()[0]));
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed.\r\n") + f->messageTexts()[0] + kStopped);
        QCOMPARE(f->history(), QStringList{f->keptPath()});  // nothing added
    }

    void theArchiveHoldsWhatTarListed_data()
    {
        QTest::addColumn<QList<QByteArray>>("listed");
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("problem");
        const QByteArray sample = test::sampleArchive();
        QTest::newRow("a member lost") << QList<QByteArray>{"zel/laser.conf", "media/machine.conf", "media/user.conf"}
                                       << sample
                                       << "the archive on the PC holds 2 files, the laser packed 3 files; file 3, "
                                          "media/user.conf, which the laser packed, is not in the archive on the PC";
        QTest::newRow("a member more") << QList<QByteArray>{"zel/laser.conf"} << sample
                                       << "the archive on the PC holds 2 files, the laser packed 1 file; file 2 of "
                                          "the archive on the PC, media/machine.conf, is not one the laser packed";
        QTest::newRow("another name") << QList<QByteArray>{"zel/laser.conf", "media/user.conf"} << sample
                                      << "file 2 is media/machine.conf in the archive on the PC, but the laser packed "
                                         "media/user.conf";
        QTest::newRow("another order") << QList<QByteArray>{"media/machine.conf", "zel/laser.conf"} << sample
                                       << "file 1 is zel/laser.conf in the archive on the PC, but the laser packed "
                                          "media/machine.conf";
        QTest::newRow("another sender's small archive")
            << QList<QByteArray>{"zel/calibration.conf", "zel/laser.conf", "zel/motion.conf", "media/machine.conf"}
            << test::makeArchive({{"zel/laser.conf", "type=fiber\n"}})
            << "the archive on the PC holds 1 file, the laser packed 4 files; file 1 is zel/laser.conf in the "
               "archive on the PC, but the laser packed zel/calibration.conf";
        QTest::newRow("no listing") << QList<QByteArray>{} << sample
                                    << "the laser's tar printed no list of the files it packed";
        const QList<QByteArray> names{"zel/laser.conf", "media/profiles/", "media/profiles/Stahl d\xc3\xbcnn/",
                                      "media/profiles/Stahl d\xc3\xbcnn/s 1.prf", "media/\xe6\xbf\x80\xe5\x85\x89 .conf"};
        QList<test::ArchiveMember> members;
        for (const QByteArray& name : names)
            members.append({name, name.endsWith('/') ? QByteArray() : QByteArray("x=1\n"), name.endsWith('/') ? 0040000u : 0100000u});
        QTest::newRow("blanks, UTF-8 and folders") << names << test::makeArchiveOf(members) << QString();
    }

    void theArchiveHoldsWhatTarListed()
    {
        QFETCH(QList<QByteArray>, listed);
        QFETCH(QByteArray, archive);
        QFETCH(QString, problem);
        f->shell->packed = listed;
        f->shell->onUpload = [&] { f->rig->server.receiveUpload(QStringLiteral("10.0.0.5"), archive); };
        if (problem.isEmpty()) {
            QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
            QVERIFY(f->controls().status().startsWith(kInstructions));
            return;
        }
        QVERIFY(!backup());
        QCOMPARE(f->messageTexts(), QStringList{QStringLiteral("The backup on the PC is not usable: ") + problem
                                                + QStringLiteral(".\nKeep the old SD card in the laser: do not replace it.")});
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed.\r\n") + f->messageTexts()[0] + kStopped);
        QCOMPARE(f->workflow().phase(), workflow::Workflow::Phase::Backup);
        QCOMPARE(f->history(), QStringList{f->keptPath()});  // nothing added
    }

    void aListingAmidTheTypedAheadStatusRequestStillMatches()
    {
        // tar still packs when the status request arrives: the terminal
        // echoes it between two listing lines, the shell once more after tar.
        f->shell->packed.clear();
        answerLater(kTarFull, {{800, "zel/laser.conf\r\n"},
                               {1001, "echo CMDVAL: $?\r\n"},
                               {1500, "media/machine.conf\r\n"},
                               {1600, "root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\nroot@laser:/# "}});
        QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
        QVERIFY(f->controls().status().startsWith(kInstructions));
    }

    void aRealShellsListingIsRead_data()
    {
        // What busybox sh on a pseudo-terminal printed while its tar packed
        // (tests/realshell/capture_fixtures.py), and the archive's members.
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("sample card: the echo wrapped at 80 columns") << "sample_card" << kTarFull;
        QTest::newRow("typed-ahead request, Handle, blanks, UTF-8") << "typed_ahead_odd_names" << kTarFull;
        QTest::newRow("no profiles: the short command") << "no_profiles" << kTarShort;
    }

    void aRealShellsListingIsRead()
    {
        QFETCH(QString, fixture);
        QFETCH(QByteArray, command);
        const QString base = QStringLiteral(TARVO_TEST_SOURCE_DIR "/tests/unit/fixtures/realshell/") + fixture;
        QFile rawFile(base + QStringLiteral(".raw"));
        QFile membersFile(base + QStringLiteral(".members"));
        QVERIFY(rawFile.open(QIODevice::ReadOnly) && membersFile.open(QIODevice::ReadOnly));
        QByteArray raw = rawFile.readAll();
        QList<test::ArchiveMember> members;
        for (const QByteArray& name : membersFile.readAll().split('\n'))
            if (!name.isEmpty())
                members.append({name, name.endsWith('/') ? QByteArray() : name + "\n", name.endsWith('/') ? 0040000u : 0100000u});
        if (command == kTarShort)
            f->shell->status["test -d media/profiles;"] = 1;
        // The shell here has printed the prompt the echo stands behind.
        QVERIFY(raw.startsWith("root@laser:/# "));
        raw.remove(0, 14);
        // What came before the status request's first echo arrives before
        // the request is sent, the rest after it.
        const qsizetype request = raw.lastIndexOf('\n', raw.indexOf("echo CMDVAL: $?")) + 1;
        const auto deliver = [&](const QByteArray& transcript) {
            f->shell->scripted = {command};
            answerLater(command, {{800, transcript.left(request)}, {1200, transcript.mid(request)}});
            f->shell->onUpload = [this, members] {
                f->rig->server.receiveUpload(QStringLiteral("10.0.0.5"), test::makeArchiveOf(members));
            };
        };
        deliver(raw);
        QVERIFY2(backup(), qPrintable(f->messageTexts().join(QLatin1Char('|'))));
        QVERIFY(f->controls().status().startsWith(kInstructions));

        // A line nobody's own amid the same listing leaves the backup unverified.
        init();
        if (command == kTarShort)
            f->shell->status["test -d media/profiles;"] = 1;
        const qsizetype second = raw.indexOf('\n', raw.indexOf("\nzel/")) + 1;
        deliver(raw.left(second) + "Bus error\r\n" + raw.mid(second));
        QVERIFY(!backup());
        QCOMPARE(f->messageTexts(),
                 QStringList{QStringLiteral("The backup on the PC is not usable: while its tar packed, the laser printed "
                                            "a line that is neither a file it packed nor the shell's own: \"Bus error\"."
                                            "\nKeep the old SD card in the laser: do not replace it.")});
    }

    void withoutAServerNothingIsSent()
    {
        stopTheServerAtTheRelay();
        QVERIFY(!backup());
        QVERIFY(lines().isEmpty());
        QVERIFY(!f->controls().progressHistory.empty());
        QCOMPARE(f->controls().progress(), 0.0);
        QCOMPARE(f->controls().status(), QStringLiteral("Reading config data failed.") + kStopped);
        QCOMPARE(elapsed(), 0);
    }

    // ------------------------------------------------------------ restore

    void aRestoreInWhichEveryStepSucceeds()
    {
        QVERIFY(restore());
        // Its server only serves: nobody can replace what the laser fetches.
        QVERIFY(f->platform().processes[0].arguments.contains(QStringLiteral("--no-uploads")));
        QCOMPARE(lines(), (QList<QByteArray>{kMount, kStatus, "cd /media", kGet, kStatus, "sync", kStatus, "cd /",
                                             kUntar, kStatus, "sync", kStatus}));
        QCOMPARE(elapsed(), 11000);
        QCOMPARE(f->controls().status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        // Once the laser has fetched the archive, the status says it unpacks.
        QCOMPARE(f->controls().step(QStringLiteral("Writing config data to the laser... ")).bar,
                 (std::vector<double>{0, 10, 20, 30, 40, 50, 60, 70}));
        QCOMPARE(f->controls().step(QStringLiteral("Writing config data to the laser... ")).next,
                 QStringLiteral("Writing config data to the laser... %1 sent; the laser unpacks it…")
                     .arg(tarvo::workflow::OperatorTexts::size(test::sampleArchive().size())));
    }

    void tarsListingIsNoComplaintButTheFirmwaresIs_data()
    {
        QTest::addColumn<QByteArray>("untarOutput");
        QTest::addColumn<QString>("status");
        QTest::newRow("a member named ... Handle")
            << QByteArray("media/profiles/Lost Handle\r\nmedia/profiles/Lost Handle/cut 2 mm.prf\r\n")
            << QStringLiteral("Writing config data done. Please power cycle the laser.");
        QTest::newRow("the firmware's Handle while tar unpacks")
            << QByteArray("media/profiles/a.prf\r\nlaser.elf: Invalid Handle\r\n")
            << QStringLiteral("laser.elf: Invalid Handle\r\nCall for service.");
    }

    void tarsListingIsNoComplaintButTheFirmwaresIs()
    {
        QFETCH(QByteArray, untarOutput);
        QFETCH(QString, status);
        f->shell->output.insert(kUntar, untarOutput);
        QVERIFY(restore());
        QCOMPARE(f->controls().status(), status);
    }

    void aBadArchiveIsRefusedBeforeAnythingIsSent_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("message");
        const QByteArray good = test::sampleArchive();
        // The controller's folder still holds an upload, never verified.
        QTest::newRow("no verified backup") << QByteArray()
                                            << QStringLiteral("Error: no verified backup of 10.0.0.5 is kept on this PC.");
        QTest::newRow("cut short") << good.left(good.size() - 10) << QStringLiteral("is not usable: it is damaged");
        QTest::newRow("foreign") << QByteArray(4096, 'x') << QStringLiteral("is not usable: it is not a gzip");
        QTest::newRow("changed since it was verified")
            << test::makeArchive({{"zel/laser.conf", "type=planted\n"}})
            << QStringLiteral("is not usable: it has changed since it was verified (its SHA-256 is no longer the one on record)");
    }

    void aBadArchiveIsRefusedBeforeAnythingIsSent()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, message);
        if (archive.isEmpty())
            f->platform().fileData.remove(f->keptPath());
        else
            f->platform().fileData.insert(f->keptPath(), archive);
        QVERIFY(!restore());
        QVERIFY(f->shell->lines.isEmpty());
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].contains(message), qPrintable(f->messageTexts()[0]));
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::Critical);
    }

    void aWaitingRestoreThatIsNoKeptBackupIsRefused_data()
    {
        QTest::addColumn<QString>("pending");
        const QString data = QStringLiteral("/home/tech/.local/share/tarvo");
        QTest::newRow("a system file") << QStringLiteral("/etc/shadow");
        QTest::newRow("the server's upload file") << QStringLiteral("10.0.0.5/config.tgz");
        QTest::newRow("out of the history by ..")
            << QStringLiteral("history/mac-02-00-0a-00-00-05/../../10.0.0.5/config.tgz");
    }

    void aWaitingRestoreThatIsNoKeptBackupIsRefused()
    {
        QFETCH(QString, pending);
        if (!pending.startsWith(QLatin1Char('/')))
            pending = f->platform().dataFolderValue + QLatin1Char('/') + pending;
        f->platform().fileData.insert(pending, test::sampleArchive());
        pcside::BackupStore::Backup backup = f->store().describe(f->keptPath());
        backup.path = pending;
        f->store().choose(backup);
        QVERIFY(!restore());
        QVERIFY(f->shell->lines.isEmpty());
        QCOMPARE(f->messageTexts().size(), 1);
        QVERIFY2(f->messageTexts()[0].contains(QStringLiteral("is not one kept in the history of this PC")),
                 qPrintable(f->messageTexts()[0]));
    }

    void failingRestoreSteps_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("linesSent");
        QTest::newRow("mount") << kMount << QList<int>{1} << QStringLiteral("Remounting Error, Code: 1") << 2;
        QTest::newRow("tftp") << kGet << QList<int>{1} << QStringLiteral("TFTP Write Error for config.tgz, Code: 1") << 5;
        QTest::newRow("first sync") << QByteArray("sync") << QList<int>{1}
                                    << QStringLiteral("Sync Error for config.tgz, Code: 1") << 7;
        QTest::newRow("tar") << kUntar << QList<int>{2} << QStringLiteral("Extracting Archive Error for config.tgz, Code: 2") << 10;
        QTest::newRow("last sync") << QByteArray("sync") << QList<int>{0, 1}
                                   << QStringLiteral("Sync Error after extraction, Code: 1") << 12;
    }

    void failingRestoreSteps()
    {
        QFETCH(QByteArray, command);
        QFETCH(QList<int>, statuses);
        QFETCH(QString, message);
        QFETCH(int, linesSent);
        f->shell->statusSequence.insert(command, statuses);
        QVERIFY(!restore());
        QCOMPARE(f->messageHeadlines(), QStringList{message});
        const QString reason = f->messageTexts()[0].section(QLatin1Char('\n'), 1);
        QVERIFY2(reason.endsWith(QStringLiteral("click Continue again: the backup is written anew.")), qPrintable(reason));
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::Critical);
        f->platform().runUntil(f->platform().nowMs() + 60000);
        QCOMPARE(lines().size(), linesSent);
        QCOMPARE(f->controls().status(), QStringLiteral("Writing config data failed.\r\n") + reason + kStopped);
    }

    void aTftpErrorLineStaysOnTheLabel()
    {
        f->shell->status.insert(kGet, 1);
        f->shell->output.insert(kGet, "tftp: server error: (1) File not found\r\n");
        QVERIFY(!restore());
        QCOMPARE(f->messageHeadlines(), QStringList{"TFTP Write Error for config.tgz, Code: 1"});
        QCOMPARE(f->controls().status(), QStringLiteral("tftp: server error: (1) File not found") + kStopped);
    }

    void aHandleLineCallsForService()
    {
        f->shell->output.insert("sync", "Flash controller lost Handle\r\n");
        QVERIFY(restore());
        QCOMPARE(f->controls().status(), QStringLiteral("Flash controller lost Handle\r\nCall for service."));
    }

    void restoreWithoutAServer()
    {
        stopTheServerAtTheRelay();
        QVERIFY(!restore());
        QVERIFY(lines().isEmpty());
        QCOMPARE(f->controls().status(), QStringLiteral("Writing config data failed.") + kStopped);
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "test_transfer.moc"
