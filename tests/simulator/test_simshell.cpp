// The controller's console in-process: login exchange, the terminal's
// echo, the commands the tool sends with their statuses, and the shell's
// own small commands.

#include "controller_harness.h"

#include "simulator/devicestate.h"

#include <QTest>

using tarvo::simulator::EngineOptions;
using tarvo::simulator::FaultOptions;

namespace {
// What the tool sends and when: after waiting this long, these bytes.
using Script = QList<QPair<int, QByteArray>>;

EngineOptions plainConsole()
{
    EngineOptions o;
    o.plainConsole = true;
    return o;
}
}  // namespace

class TestSimShell : public QObject {
    Q_OBJECT
private slots:
    void loginPromptOnlyAfterLineEnd();
    void rootGetsShellOthersRefused();
    void terminalAsOnTheController_data();
    void terminalAsOnTheController();
    void echoThenOutputThenPrompt();
    void promptsSometimesCarryEscapeSequences();
    void killallStopsFirmwareOnce();
    void gpioWriteOpensRelay();
    void remountMakesZelWritable();
    void testDirectoryWithTrailingSemicolon();
    void cdHoldsPerConnection();
    void echoCmdvalReportsLastStatus();
    void unknownCommandIs127();
    void smallCommands();
    void redirectionWritesCardFiles();
    void syncTakesTimeAndSucceeds();
    void linesQueueWhileCommandRuns();
    void exitClosesConnection();
    void powerOffClosesAndRefuses();
    void cardSwapNeedsPowerOff();
    void lineEndingsCrLfAndLf_data();
    void lineEndingsCrLfAndLf();
    void toolClosingMidCommandIsQuiet();
    void twoConnectionsAtOnce();
    void overlongLineIsRefusedWhole();
};

void TestSimShell::loginPromptOnlyAfterLineEnd()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    // A new connection is greeted with a banner and the prompt.
    h.clock.runFor(2000);
    QVERIFY(h.received.endsWith("\r\n\r\nlaser login: "));
    h.received.clear();
    h.sendRaw("");
    h.clock.runFor(2000);
    QCOMPARE(h.received, QByteArray());
    h.sendRaw("\r");
    h.clock.runFor(100);
    QCOMPARE(h.received, QByteArray("\r\nlaser login: "));
    h.received.clear();
    h.sendRaw("\n");  // the LF of a CR LF is a second Enter
    h.clock.runFor(100);
    QCOMPARE(h.received, QByteArray("\r\nlaser login: "));
}

void TestSimShell::rootGetsShellOthersRefused()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.waitFor("login: "));  // the greeting
    h.received.clear();
    h.sendLine("");
    QVERIFY(h.waitFor("login: "));
    h.received.clear();
    h.sendLine("admin");
    QVERIFY(h.waitFor("login: "));
    QVERIFY(h.received.startsWith("admin\r\n"));
    QVERIFY(h.received.contains("Login incorrect\r\nlaser login: "));
    QVERIFY(!h.engine->isLoggedIn());
    h.received.clear();
    h.sendLine("root");
    h.clock.runUntil([&] { return h.idle(); });
    QVERIFY(h.received.startsWith("root\r\n"));
    QVERIFY(h.received.endsWith("root@laser:/# \x1b[6n"));
    QVERIFY(h.engine->isLoggedIn());
}

void TestSimShell::terminalAsOnTheController_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<qint64>("packRate");
    QTest::addColumn<bool>("login");  // logged in before the script
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("expected");  // all that came back

    const QByteArray idle = "root@laser:/# \x1b[6n";
    const QByteArray emptyLine = "root@laser:/# \r\n";
    QTest::newRow("login") << 80 << qint64(0) << false << Script{{1000, "\r\n"}, {500, "root\r\n"}}
                           << "\x1b[0m\r\nTarvo laser controller (laser)\r\n\r\nlaser login: \r\n\r\n"
                              "laser login: laser login: root\r\n\r\n\r\n\r\n"
                              "BusyBox v1.35.0 (Debian 1:1.35.0-4+deb12u1+b1) built-in shell (ash)\r\n"
                              "Enter 'help' for a list of built-in commands.\r\n\r\n" + emptyLine + idle;
    // The LF's empty line leaves the command's status to the request.
    QTest::newRow("command, then its status") << 80 << qint64(0) << true
                                              << Script{{0, "false\r\n"}, {1000, "echo CMDVAL: $?\r\n"}}
                                              << "false\r\n" + emptyLine + idle + "echo CMDVAL: $?\r\nCMDVAL: 1\r\n" +
                                                     emptyLine + idle;
    // 14 columns of prompt leave 66 for the line's start.
    QTest::newRow("long line, 80 columns")
        << 80 << qint64(0) << true
        << Script{{0, "tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences\r\n"}}
        << "tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles m\r\r\nedia/sequences\r\n" + emptyLine +
               idle;
    // Output is never broken; a line that fills its last row needs no
    // line end of its own.
    QTest::newRow("long lines, 20 columns")
        << 20 << qint64(0) << true
        << Script{{0, "echo abcdefghijklmnopqrstuvwxyz0123456789\r\n"}, {100, "echo abcdefghijklmnopqrstu\r\n"}}
        << "echo a\r\r\nbcdefghijklmnopqrstu\r\r\nvwxyz0123456789\r\nabcdefghijklmnopqrstuvwxyz0123456789\r\n" +
               emptyLine + idle + "echo a\r\r\nbcdefghijklmnopqrstu\r\r\nabcdefghijklmnopqrstu\r\n" + emptyLine + idle;
    // The status request comes while tar still packs: the terminal echoes
    // it at once, the shell once more when it reads it.
    QTest::newRow("typed ahead during a slow tar")
        << 80 << qint64(200) << true << Script{{0, "tar cvzf /media/config.tgz zel/*.conf\r\n"}, {1000, "echo CMDVAL: $?\r\n"}}
        << "tar cvzf /media/config.tgz zel/*.conf\r\nzel/calibration.conf\r\necho CMDVAL: $?\r\n\r\n"
           "zel/laser.conf\r\nzel/motion.conf\r\nzel/network.conf\r\nzel/safety.conf\r\n" +
               emptyLine + "root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\n" + emptyLine + idle;
}

void TestSimShell::terminalAsOnTheController()
{
    QFETCH(int, columns);
    QFETCH(qint64, packRate);
    QFETCH(bool, login);
    QFETCH(Script, script);
    QFETCH(QByteArray, expected);
    EngineOptions o;
    o.consoleColumns = columns;
    o.packBytesPerSecond = packRate;
    ControllerHarness h({}, QStringLiteral("A"), o);
    QVERIFY(h.connect());
    if (login)
        QVERIFY(h.login());
    for (const auto& [waitMs, bytes] : script) {
        h.clock.runFor(waitMs);
        h.sendRaw(bytes);
    }
    h.clock.runUntil([&] { return h.idle(); }, 60000);
    QCOMPARE(h.received, expected);
}

void TestSimShell::echoThenOutputThenPrompt()
{
    ControllerHarness h({}, QStringLiteral("A"), plainConsole());
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.sendLine("pwd");
    h.clock.runUntil([&] { return h.received.endsWith("# "); });
    QCOMPARE(h.received, QByteArray("pwd\r\n/\r\nroot@laser:/# "));
}

void TestSimShell::promptsSometimesCarryEscapeSequences()
{
    ControllerHarness h({}, QStringLiteral("A"), plainConsole());
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QByteArray all;
    for (int i = 0; i < 4; ++i) {
        h.command("true");
        all += h.received;
    }
    QVERIFY(all.contains("\x1b[1;32m"));
    QVERIFY(all.contains("\x1b[0m"));
    QVERIFY(all.contains("root@laser:/# "));
}

void TestSimShell::killallStopsFirmwareOnce()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QVERIFY(h.engine->device().firmwareRunning());
    QCOMPARE(h.command("killall laser.elf"), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(!h.engine->device().firmwareRunning());
    QCOMPARE(h.command("killall laser.elf"), QByteArray("killall: laser.elf: no process killed\r\n"));
    QCOMPARE(h.status(), 1);
}

void TestSimShell::gpioWriteOpensRelay()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const QByteArray line = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";
    QCOMPARE(line.size(), 40);
    QVERIFY(!h.engine->device().relayOpen());
    QCOMPARE(h.command(line), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(h.engine->device().relayOpen());
    QVERIFY(!QFileInfo::exists(h.cardPath("dev/gpio0")));
}

void TestSimShell::remountMakesZelWritable()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("echo x > /zel/new.conf"), QByteArray("sh: can't create /zel/new.conf: Read-only file system\r\n"));
    QCOMPARE(h.status(), 1);
    QVERIFY(!QFileInfo::exists(h.cardPath("zel/new.conf")));
    QCOMPARE(h.command("mount -o remount /dev/mmcblk0p2 /zel"), QByteArray());
    QCOMPARE(h.status(), 0);
    QCOMPARE(h.command("echo x > /zel/new.conf"), QByteArray());
    QCOMPARE(h.status(), 0);
    QVERIFY(QFileInfo::exists(h.cardPath("zel/new.conf")));
    QCOMPARE(h.command("mount -o remount /dev/mmcblk0p9 /nowhere"),
             QByteArray("mount: mounting /dev/mmcblk0p9 on /nowhere failed: No such file or directory\r\n"));
    QCOMPARE(h.status(), 255);
}

void TestSimShell::testDirectoryWithTrailingSemicolon()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    QCOMPARE(h.command("test -d media/profiles;"), QByteArray());
    QCOMPARE(h.status(), 0);
    QCOMPARE(h.command("test -d media/nothing;"), QByteArray());
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("test -d media/machine.conf;"), QByteArray());
    QCOMPARE(h.status(), 1);
}

void TestSimShell::cdHoldsPerConnection()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QCOMPARE(h.status(), 0);
    QCOMPARE(h.command("pwd"), QByteArray("/media\r\n"));
    QVERIFY(h.received.endsWith("root@laser:/media# \x1b[6n"));
    h.command("cd /");
    QCOMPARE(h.command("pwd"), QByteArray("/\r\n"));
    QCOMPARE(h.command("cd /nowhere"), QByteArray("sh: cd: can't cd to /nowhere: No such file or directory\r\n"));
    QCOMPARE(h.status(), 2);

    // A second connection has its own shell.
    auto first = h.session;
    h.command("cd /media");
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("pwd"), QByteArray("/\r\n"));
    QCOMPARE(first->cwd(), QByteArray("/media"));
}

void TestSimShell::echoCmdvalReportsLastStatus()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("false");
    QCOMPARE(h.command("echo CMDVAL: $?"), QByteArray("CMDVAL: 1\r\n"));
    h.command("true");
    QCOMPARE(h.command("echo CMDVAL: $?"), QByteArray("CMDVAL: 0\r\n"));
    QCOMPARE(h.command("echo '$?' \"$?\""), QByteArray("$? 0\r\n"));
}

void TestSimShell::unknownCommandIs127()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("frobnicate --now"), QByteArray("sh: frobnicate: not found\r\n"));
    QCOMPARE(h.status(), 127);
}

void TestSimShell::smallCommands()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("ls /"), QByteArray("media\r\nzel\r\n"));
    QCOMPARE(h.command("ls /media/profiles"), QByteArray("aluminium\r\nplastics\r\nsteel\r\n"));
    QCOMPARE(h.command("ls /nothing"), QByteArray("ls: /nothing: No such file or directory\r\n"));
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("cat /media/display.conf").left(10), QByteArray("[display]\r"));
    QCOMPARE(h.command("cat /nothing"), QByteArray("cat: can't open '/nothing': No such file or directory\r\n"));
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("echo -n abc"), QByteArray("abc"));
    QCOMPARE(h.command("echo -e 'a\\tb'"), QByteArray("a\tb\r\n"));
    QCOMPARE(h.command("echo zel/*.conf"),
             QByteArray("zel/calibration.conf zel/laser.conf zel/motion.conf zel/network.conf zel/safety.conf\r\n"));
    QCOMPARE(h.command("echo zel/*.none"), QByteArray("zel/*.none\r\n"));
    QCOMPARE(h.command("echo 'zel/*.conf'"), QByteArray("zel/*.conf\r\n"));
    QVERIFY(h.command("ps").contains("/opt/laser/laser.elf\r\n"));
    QVERIFY(h.command("help").contains("killall"));
    QCOMPARE(h.command("true && echo yes || echo no"), QByteArray("yes\r\n"));
    QCOMPARE(h.command("false && echo yes || echo no"), QByteArray("no\r\n"));
    h.command("exit 3; true");  // exit ends the shell
    QVERIFY(h.closed);
}

void TestSimShell::redirectionWritesCardFiles()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QCOMPARE(h.command("echo hello > note.txt"), QByteArray());
    QCOMPARE(h.command("echo again >> note.txt"), QByteArray());
    QFile f(h.cardPath("media/note.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("hello\nagain\n"));
    QCOMPARE(h.command("echo x > /media/none/a"), QByteArray("sh: can't create /media/none/a: nonexistent directory\r\n"));
    QCOMPARE(h.status(), 1);
}

void TestSimShell::syncTakesTimeAndSucceeds()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const auto before = h.clock.nowMs();
    QCOMPARE(h.command("sync"), QByteArray());
    QVERIFY(h.clock.nowMs() - before >= 200);
    QCOMPARE(h.status(), 0);
}

void TestSimShell::linesQueueWhileCommandRuns()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    // All lines at once, as a tool that does not wait: each is read, echoed
    // and answered only after the one before has finished.
    h.sendRaw("false\r\nsync\r\necho CMDVAL: $?\r\n");
    h.clock.runUntil([&] { return h.idle(); });
    const QByteArray r = h.received;
    const int syncEcho = r.indexOf("sync\r\n");
    const int cmdvalEcho = r.indexOf("echo CMDVAL: $?\r\n");
    QVERIFY(syncEcho > 0);
    QVERIFY(cmdvalEcho > syncEcho);
    QVERIFY(r.indexOf("# ", syncEcho) < cmdvalEcho);
    QVERIFY(r.contains("CMDVAL: 0\r\n"));
}

void TestSimShell::exitClosesConnection()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("exit");
    QVERIFY(h.closed);
    QVERIFY(h.received.contains("logout\r\n"));
    QCOMPARE(h.engine->connectionCount(), 0);
}

void TestSimShell::powerOffClosesAndRefuses()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("killall laser.elf");
    h.command("echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0");
    h.command("mount -o remount /dev/mmcblk0p2 /zel");
    h.engine->powerOff();
    QVERIFY(h.closed);
    QVERIFY(!h.connect());
    h.engine->powerOn();
    QVERIFY(h.engine->device().firmwareRunning());
    QVERIFY(!h.engine->device().relayOpen());
    QVERIFY(!h.engine->device().zelWritable());
    QVERIFY(h.connect());
    QVERIFY(h.login());
}

void TestSimShell::cardSwapNeedsPowerOff()
{
    ControllerHarness h;
    QTemporaryDir other;
    QVERIFY(copyTree(sampleCard(QStringLiteral("B")), other.path()));
    QString why;
    QVERIFY(!h.engine->insertCard(other.path(), &why));
    QCOMPARE(why, QStringLiteral("power off first"));
    h.engine->powerOff();
    QVERIFY(h.engine->insertCard(other.path(), &why));
    h.engine->powerOn();
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("ls /media"), QByteArray("operator-notes.txt\r\n"));
    h.engine->powerOff();
    QVERIFY(h.engine->insertBlankCard(&why));
    h.engine->powerOn();
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.command("ls /"), QByteArray("media\r\nzel\r\n"));
    QCOMPARE(h.command("ls /media"), QByteArray());
    QVERIFY(h.engine->statusLine().startsWith(QStringLiteral("power=on connections=1 login=yes firmware=running")));
}

void TestSimShell::lineEndingsCrLfAndLf_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QByteArray>("partEcho");  // of a line's start
    QTest::addColumn<QByteArray>("afterCr");   // of the LF that follows a CR
    QTest::newRow("terminal") << false << QByteArray("pw") << QByteArray("\r\nroot@laser:/# \x1b[6n");
    QTest::newRow("plain console") << true << QByteArray() << QByteArray();
}

void TestSimShell::lineEndingsCrLfAndLf()
{
    QFETCH(bool, plain);
    QFETCH(QByteArray, partEcho);
    QFETCH(QByteArray, afterCr);
    ControllerHarness h({}, QStringLiteral("A"), plain ? plainConsole() : EngineOptions());
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.sendRaw("pwd\n");
    h.clock.runUntil([&] { return h.idle(); });
    QVERIFY(h.received.startsWith("pwd\r\n/\r\n"));
    h.received.clear();
    h.sendRaw("pw");
    h.clock.runFor(1000);
    QCOMPARE(h.received, partEcho);
    h.sendRaw("d\r");
    h.clock.runUntil([&] { return h.idle(); });
    QVERIFY(h.received.startsWith("pwd\r\n/\r\n"));
    h.received.clear();
    h.sendRaw("\n");
    h.clock.runFor(100);
    QCOMPARE(h.received, afterCr);
}

void TestSimShell::toolClosingMidCommandIsQuiet()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.sendLine("tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    h.sendLine("echo CMDVAL: $?");
    h.clock.runFor(30);
    h.session->peerClosed();
    h.received.clear();
    h.clock.runFor(5000);
    QCOMPARE(h.received, QByteArray());
    QCOMPARE(h.engine->connectionCount(), 0);

    // A transfer still under way when the tool goes away ends quietly too.
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    h.sendLine("tftp -p -l config.tgz 192.168.100.10");
    h.clock.runFor(5);
    h.session->peerClosed();
    h.session.reset();
    h.clock.runFor(5000);
    QCOMPARE(h.tftp->transfers.size(), size_t(1));
    QVERIFY(QFileInfo::exists(QDir(h.pcDir.path()).filePath(QStringLiteral("config.tgz"))));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(h.status(), 0);
}

void TestSimShell::twoConnectionsAtOnce()
{
    ControllerHarness h;
    QByteArray second;
    bool secondClosed = false;
    auto other = h.engine->accept([&](const QByteArray& b) { second += b; }, [&] { secondClosed = true; });
    QVERIFY(h.connect());
    QCOMPARE(h.engine->connectionCount(), 2);
    QVERIFY(h.login());
    other->receive("\r\nroot\r\n");
    QVERIFY(h.clock.runUntil([&] { return second.endsWith("# \x1b[6n"); }));
    other->receive("cd /zel\r\n");
    QVERIFY(h.clock.runUntil([&] { return second.endsWith("/zel# \x1b[6n"); }));
    QCOMPARE(h.command("pwd"), QByteArray("/\r\n"));
    h.engine->powerOff();
    QVERIFY(h.closed);
    QVERIFY(secondClosed);
    QCOMPARE(h.engine->connectionCount(), 0);
}

void TestSimShell::overlongLineIsRefusedWhole()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    // 8 MB without a line end, in the pieces a socket would hand over: the
    // echo stops at the limit.
    const QByteArray piece(64 * 1024, 'x');
    for (int i = 0; i < 128; ++i)
        h.sendRaw(piece);
    h.clock.runFor(100);
    QCOMPARE(h.received.count('x'), 64 * 1024);
    h.received.clear();
    h.sendLine("yz");
    h.clock.runUntil([&] { return h.idle(); });
    QCOMPARE(h.received, QByteArray("\r\nsh: line too long\r\nroot@laser:/# \r\nroot@laser:/# \x1b[6n"));
    QCOMPARE(h.status(), 2);
    QCOMPARE(h.command("echo still here"), QByteArray("still here\r\n"));
    // Just under the limit is an ordinary line.
    QCOMPARE(h.command("echo " + QByteArray(64 * 1024 - 6, 'y')).size(), 64 * 1024 - 6 + 2);
}

QTEST_GUILESS_MAIN(TestSimShell)
#include "test_simshell.moc"
