// Every fault the controller can be told to show, in virtual time.

#include "controller_harness.h"

#include "simulator/secondupload.h"
#include "simulator/speedoptions.h"

#include <QCommandLineParser>
#include <QTest>

using tarvo::simulator::FaultOptions;

class TestSimFaults : public QObject {
    Q_OBJECT
private slots:
    void optionsAreNamedAndRead();
    void noLoginPrompt();
    void shellRefused();
    void relayFailsForFirstAttempts();
    void mountFails();
    void tarFails();
    void syncFails();
    void tftpFails();
    void handleLineAtChosenCommand();
    void cmdvalNotANumber();
    void answersDelayed();
    void linkEndsAfterCommands_data();
    void linkEndsAfterCommands();
    void truncatedUploadReportsSuccess();
    void alwaysOkDoesNothing();
    void verboseFlood();
    void stalledTarGoesSilent_data();
    void stalledTarGoesSilent();
    void speedOptionsAreRead();
    void syncTakesItsTime();
    void secondUploadFollowsTheBackup();
    void slowLinkTakesItsTime();
    void stalledTftpGoesSilent();
};

void TestSimFaults::optionsAreNamedAndRead()
{
    QCommandLineParser parser;
    FaultOptions::addTo(parser);
    const QString help = parser.helpText();
    for (const char* name : {"no-login-prompt", "refuse-shell", "fail-relay", "fail-mount", "fail-tar", "fail-sync",
                             "fail-tftp", "handle-at", "bad-cmdval-at", "answer-delay", "drop-after", "flood-profiles",
                             "reset-after", "truncate-upload", "always-ok", "stall-tar-after", "stall-tftp",
                             "second-upload"})
        QVERIFY2(help.contains(QLatin1String("--") + QLatin1String(name)), name);
    QVERIFY(parser.parse({"sim", "--fail-tar", "--fail-relay", "3", "--answer-delay", "250", "--flood-profiles", "20000"}));
    FaultOptions f;
    QString error;
    QVERIFY(FaultOptions::read(parser, &f, &error));
    QVERIFY(f.failTar);
    QVERIFY(!f.failMount);
    QCOMPARE(f.relayFailures, 3);
    QCOMPARE(f.answerDelayMs, 250);
    QCOMPARE(f.floodProfiles, 20000);
    QCOMPARE(f.describe(), (QStringList{"fail-tar", "fail-relay=3", "answer-delay=250", "flood-profiles=20000"}));
    QVERIFY(parser.parse({"sim", "--drop-after", "x"}));
    QVERIFY(!FaultOptions::read(parser, &f, &error));
    QVERIFY(error.contains(QLatin1String("--drop-after")));
}

void TestSimFaults::noLoginPrompt()
{
    FaultOptions f;
    f.noLoginPrompt = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    h.sendLine("");
    h.sendLine("");
    h.clock.runFor(10000);
    QCOMPARE(h.received, QByteArray());
    QVERIFY(!h.closed);
}

void TestSimFaults::shellRefused()
{
    FaultOptions f;
    f.refuseShell = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    // The tool's confirmation: an empty command, then the status request.
    QCOMPARE(h.command(""), QByteArray());
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.status(), 0);
}

void TestSimFaults::relayFailsForFirstAttempts()
{
    FaultOptions f;
    f.relayFailures = 2;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const QByteArray write = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(h.command(write), QByteArray("sh: write error: Input/output error\r\n"));
        QCOMPARE(h.status(), 1);
        QVERIFY(!h.engine->device().relayOpen());
    }
    QCOMPARE(h.command(write), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(h.engine->device().relayOpen());
}

void TestSimFaults::mountFails()
{
    FaultOptions f;
    f.failMount = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("mount -o remount /dev/mmcblk0p2 /zel"),
             QByteArray("mount: mounting /dev/mmcblk0p2 on /zel failed: Device or resource busy\r\n"));
    QCOMPARE(h.status(), 255);
    QVERIFY(!h.engine->device().zelWritable());
}

void TestSimFaults::tarFails()
{
    FaultOptions f;
    f.failTar = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const QByteArray out = h.command("tar cvzf /media/config.tgz zel/*.conf media/*.conf ");
    QVERIFY(out.startsWith("tar: /media/config.tgz: Cannot write: No space left on device\r\n"));
    QVERIFY(out.endsWith("tar: Error is not recoverable: exiting now\r\n"));
    QCOMPARE(h.status(), 2);
    QVERIFY(h.command("tar xvzf /media/config.tgz").startsWith("tar: "));
    QCOMPARE(h.status(), 2);
}

void TestSimFaults::syncFails()
{
    {
        // Switched on while the controller runs.
        ControllerHarness h;
        QVERIFY(h.connect());
        QVERIFY(h.login());
        QCOMPARE(h.command("sync"), QByteArray());
        h.engine->faults().failSync = true;
        QCOMPARE(h.command("sync"), QByteArray("sync: Input/output error\r\n"));
    }
    FaultOptions f;
    f.failSync = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("sync"), QByteArray("sync: Input/output error\r\n"));
    QCOMPARE(h.status(), 1);
}

void TestSimFaults::tftpFails()
{
    FaultOptions f;
    f.failTftp = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QCOMPARE(h.command("tftp -p -l machine.conf 127.0.0.1"), QByteArray("tftp: server error: (2) Access violation\r\n"));
    QCOMPARE(h.status(), 1);
    QVERIFY(h.tftp->transfers.empty());
}

void TestSimFaults::handleLineAtChosenCommand()
{
    FaultOptions f;
    f.handleAtCommand = 3;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("true"), QByteArray());
    QCOMPARE(h.command("true"), QByteArray());
    const QByteArray third = h.command("cd /media");
    QVERIFY(third.endsWith("Handle\r\n"));
    QCOMPARE(h.command("pwd"), QByteArray("/media\r\n"));
}

void TestSimFaults::cmdvalNotANumber()
{
    FaultOptions f;
    f.badCmdvalAt = 2;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("echo CMDVAL: $?"), QByteArray("CMDVAL: 0\r\n"));
    const QByteArray bad = h.command("echo CMDVAL: $?");
    QVERIFY(bad.startsWith("CMDVAL: "));
    bool isNumber = false;
    bad.mid(8).trimmed().toInt(&isNumber);
    QVERIFY(!isNumber);
    QCOMPARE(h.command("echo CMDVAL: $?"), QByteArray("CMDVAL: 0\r\n"));
}

void TestSimFaults::answersDelayed()
{
    FaultOptions f;
    f.answerDelayMs = 700;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    const auto sent = h.clock.nowMs();
    h.sendLine("");
    QVERIFY(h.waitFor("login: "));
    QVERIFY(h.clock.nowMs() - sent >= 700);
    h.received.clear();
    h.sendLine("root");
    h.clock.runUntil([&] { return h.idle(); });
    const auto before = h.clock.nowMs();
    h.received.clear();
    h.sendLine("pwd");
    h.clock.runFor(650);
    QCOMPARE(h.received, QByteArray());
    h.clock.runUntil([&] { return h.idle(); });
    QVERIFY(h.clock.nowMs() - before >= 700);
    QCOMPARE(h.received, QByteArray("pwd\r\n/\r\nroot@laser:/# \r\nroot@laser:/# \x1b[6n"));
}

void TestSimFaults::linkEndsAfterCommands_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("closed") << false;
    QTest::newRow("reset") << true;
}

void TestSimFaults::linkEndsAfterCommands()
{
    QFETCH(bool, reset);
    FaultOptions f;
    (reset ? f.resetAfterCommands : f.dropAfterCommands) = 2;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QVERIFY(!h.closed);
    h.command("killall laser.elf");  // mid-step: before the tool asks for its status
    QVERIFY(reset ? h.reset : h.closed && !h.reset);
    QCOMPARE(h.engine->connectionCount(), 0);
    // The fault fires once; a reconnecting tool finds the controller again.
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("true");
    h.command("true");
    QVERIFY(!h.closed);
}

void TestSimFaults::truncatedUploadReportsSuccess()
{
    FaultOptions f;
    f.truncateUpload = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.command("tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles");
    QCOMPARE(h.status(), 0);
    h.command("cd /media");
    QCOMPARE(h.command("tftp -p -l config.tgz 127.0.0.1"), QByteArray());
    QCOMPARE(h.status(), 0);
    const qint64 whole = QFileInfo(h.cardPath(QStringLiteral("media/config.tgz"))).size();
    QVERIFY(whole > 1000);
    QCOMPARE(QFileInfo(QDir(h.pcDir.path()).filePath(QStringLiteral("config.tgz"))).size(), whole / 2);
    QCOMPARE(int(h.tftp->transfers.size()), 1);
    QVERIFY(!h.tftp->transfers[0].announcedSize);
}

void TestSimFaults::alwaysOkDoesNothing()
{
    FaultOptions f;
    f.alwaysOk = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("false"), QByteArray());
    QCOMPARE(h.command("echo CMDVAL: $?"), QByteArray("CMDVAL: 0\r\n"));
    QCOMPARE(h.command("killall laser.elf"), QByteArray());
    QVERIFY(h.engine->device().firmwareRunning());
    QCOMPARE(h.command("tar cvzf /media/config.tgz zel"), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(!QFileInfo::exists(h.cardPath(QStringLiteral("media/config.tgz"))));
    QCOMPARE(h.command("tftp -g -r config.tgz 127.0.0.1"), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(h.tftp->transfers.empty());
}

void TestSimFaults::verboseFlood()
{
    FaultOptions f;
    f.floodProfiles = 3000;
    ControllerHarness h(f);
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("media/profiles/flood/g029/p02999.prf"))));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const auto before = h.clock.nowMs();
    const QByteArray out = h.command(
        "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    QVERIFY(out.count('\n') > 3000);
    QVERIFY(h.clock.nowMs() - before > 500);
    QCOMPARE(h.status(), 0);
}


void TestSimFaults::stalledTarGoesSilent_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<qint64>("packRate");
    QTest::newRow("three lines") << 3 << qint64(0);
    QTest::newRow("no line") << 0 << qint64(0);
    QTest::newRow("three lines, slow") << 3 << qint64(20'000);
}

void TestSimFaults::stalledTarGoesSilent()
{
    QFETCH(int, after);
    QFETCH(qint64, packRate);
    FaultOptions f;
    f.stallTarAfter = after;
    tarvo::simulator::EngineOptions o;
    o.packBytesPerSecond = packRate;
    ControllerHarness h(f, QStringLiteral("A"), o);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const auto lines = h.commandLines(
        "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp", 120000);
    QCOMPARE(lines.size(), after);
    QVERIFY(!ControllerHarness::endsWithPrompt(h.received));
    // Nothing more, however long one waits: no line, no status, no prompt.
    const QByteArray seen = h.received;
    h.clock.runFor(600000);
    QCOMPARE(h.received, seen);
    QVERIFY(!h.closed);
}

void TestSimFaults::speedOptionsAreRead()
{
    QCommandLineParser parser;
    tarvo::simulator::addSpeedOptions(parser);
    const QString help = parser.helpText();
    for (const char* name : {"pack-rate", "unpack-rate", "send-rate", "sync-time"})
        QVERIFY2(help.contains(QLatin1String("--") + QLatin1String(name)), name);
    QVERIFY(parser.parse({"sim", "--pack-rate", "500000", "--send-rate", "64000", "--sync-time", "4000"}));
    tarvo::simulator::EngineOptions o;
    QString error;
    QVERIFY(tarvo::simulator::readSpeedOptions(parser, &o, &error));
    QCOMPARE(o.packBytesPerSecond, 500000);
    QCOMPARE(o.unpackBytesPerSecond, 0);
    QCOMPARE(o.sendBytesPerSecond, 64000);
    QCOMPARE(o.syncMs, 4000);
    QVERIFY(parser.parse({"sim", "--unpack-rate", "fast"}));
    QVERIFY(!tarvo::simulator::readSpeedOptions(parser, &o, &error));
    QVERIFY(error.contains(QLatin1String("--unpack-rate")));
}

void TestSimFaults::syncTakesItsTime()
{
    tarvo::simulator::EngineOptions o;
    o.syncMs = 4000;
    ControllerHarness h({}, QStringLiteral("A"), o);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const auto start = h.clock.nowMs();
    QCOMPARE(h.command("sync"), QByteArray());
    QVERIFY(h.clock.nowMs() - start >= 4000);
    QCOMPARE(h.status(), 0);
}

void TestSimFaults::secondUploadFollowsTheBackup()
{
    FaultOptions f;
    f.secondUpload = true;
    ControllerHarness h(f);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.command("tar czf /media/config.tgz zel/*.conf");
    QCOMPARE(h.status(), 0);
    h.command("cd /media");
    QCOMPARE(h.command("tftp -p -l config.tgz 192.168.1.10"), QByteArray());
    QCOMPARE(h.status(), 0);
    QCOMPARE(int(h.tftp->transfers.size()), 2);
    for (const auto& t : h.tftp->transfers) {
        QVERIFY(t.put && t.ok);
        QCOMPARE(t.remoteName, QStringLiteral("config.tgz"));
        QCOMPARE(t.host, QStringLiteral("192.168.1.10"));
    }
    // The second one is what the server holds last: the small archive.
    QFile stored(QDir(h.pcDir.path()).filePath(QStringLiteral("config.tgz")));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), tarvo::simulator::smallArchive());
    QVERIFY(tarvo::simulator::smallArchive().size() < 400);

    // A get is never followed by one.
    h.command("tftp -g -r config.tgz 192.168.1.10");
    QCOMPARE(h.status(), 0);
    QCOMPARE(int(h.tftp->transfers.size()), 3);
}

void TestSimFaults::slowLinkTakesItsTime()
{
    tarvo::simulator::EngineOptions o;
    o.sendBytesPerSecond = 10'000;
    ControllerHarness h({}, QStringLiteral("A"), o);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.command("tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    QCOMPARE(h.status(), 0);
    const qint64 size = QFileInfo(h.cardPath(QStringLiteral("media/config.tgz"))).size();
    QVERIFY(size > 1000);
    h.command("cd /media");
    auto start = h.clock.nowMs();
    h.command("tftp -p -l config.tgz 192.168.1.10");
    QCOMPARE(h.status(), 0);
    QVERIFY(h.clock.nowMs() - start >= size * 1000 / o.sendBytesPerSecond);
    start = h.clock.nowMs();
    h.command("tftp -g -r config.tgz 192.168.1.10");
    QCOMPARE(h.status(), 0);
    QVERIFY(h.clock.nowMs() - start >= size * 1000 / o.sendBytesPerSecond);
}

void TestSimFaults::stalledTftpGoesSilent()
{
    FaultOptions f;
    f.stallTftp = true;
    ControllerHarness h(f);
    QVERIFY(QFile::copy(h.cardPath(QStringLiteral("zel/laser.conf")),
                        QDir(h.pcDir.path()).filePath(QStringLiteral("new.conf"))));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    for (const QByteArray& line : {QByteArray("tftp -p -l machine.conf 192.168.1.10"),
                                   QByteArray("tftp -g -r new.conf 192.168.1.10")}) {
        if (line.contains("-g")) {
            // The shell is still busy with the put: a fresh connection.
            QVERIFY(h.connect());
            QVERIFY(h.login());
            h.command("cd /media");
        }
        h.received.clear();
        h.sendLine(line);
        h.clock.runFor(600000);
        QVERIFY2(!ControllerHarness::endsWithPrompt(h.received), line.constData());
        QVERIFY(!h.received.contains("tftp:"));
    }
    QVERIFY(!QFileInfo::exists(QDir(h.pcDir.path()).filePath(QStringLiteral("machine.conf"))));
    QVERIFY(!QFileInfo::exists(h.cardPath(QStringLiteral("media/new.conf"))));
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "test_simfaults.moc"
