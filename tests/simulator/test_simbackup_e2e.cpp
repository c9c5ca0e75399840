// controller-sim as a program, over real TCP and UDP on loopback: the
// tool's whole backup, a card swap through the control channel, and the
// tool's whole restore, against tftpd-hpa and OpenTFTPServerMT.

#include "backup_script.h"
#include "card_copy.h"
#include "simulator_process.h"
#include "tftp_server_process.h"

#include <archive.h>
#include <archive_entry.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A sample card's copy, a TFTP server on a folder of its own, the simulator
// on that card sending to that server, and a console logged in to it.
struct UdpRig {
    QTemporaryDir pc, card;
    TftpServerProcess server;
    SimulatorProcess sim;
    ConsoleClient tool;

    bool start(TftpServerProcess::Kind kind, const QString& sampleName, const QStringList& serverArguments,
               const QStringList& simulatorArguments)
    {
        return copyTree(sampleCard(sampleName), card.path()) && server.start(kind, pc.path(), serverArguments)
               && sim.start(QStringList{QStringLiteral("--card"), card.path(), QStringLiteral("--tftp-port"),
                                        QString::number(server.port())}
                            + simulatorArguments)
               && tool.connect(sim.port()) && tool.login();
    }
};
}  // namespace

class TestSimBackupE2e : public QObject {
    Q_OBJECT
private slots:
    void wholeBackupSwapRestore_data();
    void wholeBackupSwapRestore();
    void powerOffRefusesConnections();
    void controlChannelAnswers();
    void helpNamesEveryFault();
    void faultsOverRealTcp();
    void resetOverRealTcp();
    void tftpServerErrorOverRealUdp();
    void secondUploadFromTheSameAddress();
    void slowLinkOverRealUdp();
    void stalledTftpOverRealUdp();
};

void TestSimBackupE2e::wholeBackupSwapRestore_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("portInCommand");
    QTest::newRow("tftpd-hpa, --tftp-port") << int(TftpServerProcess::Hpa) << false;
    QTest::newRow("OpenTFTPServerMT, port in the command") << int(TftpServerProcess::Open) << true;
}

void TestSimBackupE2e::wholeBackupSwapRestore()
{
    QFETCH(int, kind);
    QFETCH(bool, portInCommand);
    if (!TftpServerProcess::available(TftpServerProcess::Kind(kind)))
        QFAIL("the server program is missing");
    QTemporaryDir pc, cardA, cardB;
    QFile::setPermissions(pc.path(), QFile::Permissions(0x7777));
    QVERIFY(copyTree(sampleCard(QStringLiteral("A")), cardA.path()));
    QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB.path()));
    const auto before = snapshot(cardA.path());
    const auto blankBefore = snapshot(cardB.path());

    TftpServerProcess server;
    QVERIFY(server.start(TftpServerProcess::Kind(kind), pc.path()));
    SimulatorProcess sim;
    QStringList args{QStringLiteral("--card"), cardA.path()};
    if (!portInCommand)
        args << QStringLiteral("--tftp-port") << QString::number(server.port());
    QVERIFY(sim.start(args));
    const QByteArray target = portInCommand ? "127.0.0.1 " + QByteArray::number(server.port()) : QByteArray("127.0.0.1");

    ConsoleClient tool;
    QVERIFY(tool.connect(sim.port()));
    QVERIFY(tool.login());
    QList<int> statuses;
    for (const QByteArray& line : backupLines(target)) {
        if (line == "echo CMDVAL: $?")
            statuses << tool.status();
        else
            tool.command(line);
    }
    QCOMPARE(statuses, (QList<int>{0, 0, 0, 0, 0}));
    QVERIFY(QFileInfo(QDir(pc.path()).filePath(QStringLiteral("config.tgz"))).size() > 1000);
    // The backup changed nothing on card A but its archive.
    auto afterBackup = snapshot(cardA.path());
    afterBackup.erase(QStringLiteral("media/config.tgz"));
    QVERIFY(afterBackup == before);

    // The card swap, as the service technician does it.
    QCOMPARE(sim.control(QStringLiteral("power off")), QStringLiteral("ok power off"));
    QVERIFY(tool.waitForClose(3000));
    QCOMPARE(sim.control(QStringLiteral("card ") + cardB.path()), QStringLiteral("ok card ") + cardB.path());
    QCOMPARE(sim.control(QStringLiteral("power on")), QStringLiteral("ok power on"));

    QVERIFY(tool.connect(sim.port()));
    QVERIFY(tool.login());
    statuses.clear();
    for (const QByteArray& line : restoreLines(target)) {
        if (line == "echo CMDVAL: $?")
            statuses << tool.status();
        else
            tool.command(line);
    }
    QCOMPARE(statuses, (QList<int>{0, 0, 0, 0, 0}));

    const auto restored = snapshot(cardB.path());
    int taken = 0;
    for (const auto& [rel, bytes] : before) {
        if (!takenByBackup(rel))
            continue;
        ++taken;
        QVERIFY2(restored.count(rel) && restored.at(rel) == bytes, qPrintable(rel));
    }
    QVERIFY(taken > 30);
    QCOMPARE(restored.at(QStringLiteral("media/operator-notes.txt")), blankBefore.at(QStringLiteral("media/operator-notes.txt")));
    QCOMPARE(restored.at(QStringLiteral("zel/firmware.bin")), blankBefore.at(QStringLiteral("zel/firmware.bin")));
    QVERIFY(!restored.count(QStringLiteral("media/logs")));
    // Nothing else appeared on card B but the fetched archive.
    for (const auto& [rel, bytes] : restored)
        QVERIFY2(blankBefore.count(rel) || takenByBackup(rel) || rel == QLatin1String("media/config.tgz"), qPrintable(rel));
}

void TestSimBackupE2e::powerOffRefusesConnections()
{
    QTemporaryDir card;
    QVERIFY(copyTree(sampleCard(QStringLiteral("B")), card.path()));
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--card"), card.path(), QStringLiteral("--boot-time"), QStringLiteral("1500")}));
    ConsoleClient tool;
    QVERIFY(tool.connect(sim.port()));  // on and booted from the start
    QVERIFY(tool.login());
    QCOMPARE(sim.control(QStringLiteral("power off")), QStringLiteral("ok power off"));
    QVERIFY(tool.waitForClose(3000));
    QVERIFY(!tool.connect(sim.port()));
    QCOMPARE(tool.error(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(sim.control(QStringLiteral("power on")), QStringLiteral("ok power on"));
    // Still booting: refused until the boot time has passed.
    QVERIFY(sim.control(QStringLiteral("status")).startsWith(QStringLiteral("status: power=booting")));
    QVERIFY(!tool.connect(sim.port()));
    QCOMPARE(tool.error(), QAbstractSocket::ConnectionRefusedError);
    QDeadlineTimer booted(10000);
    while (!tool.connect(sim.port()) && !booted.hasExpired())
        QTest::qWait(200);
    QVERIFY(tool.login());
}

void TestSimBackupE2e::controlChannelAnswers()
{
    QTemporaryDir card;
    QVERIFY(copyTree(sampleCard(QStringLiteral("B")), card.path()));
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--card"), card.path(), QStringLiteral("--fail-sync")}));
    QCOMPARE(sim.control(QStringLiteral("status")),
             QStringLiteral("status: power=on connections=0 login=no firmware=running relay=closed zel=ro "
                            "faults=fail-sync card=") + QDir(card.path()).absolutePath());
    ConsoleClient tool;
    QVERIFY(tool.connect(sim.port()));
    QVERIFY(tool.login());
    tool.command("killall laser.elf");
    tool.command("echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0");
    QVERIFY(sim.control(QStringLiteral("status")).startsWith(
        QStringLiteral("status: power=on connections=1 login=yes firmware=stopped relay=open zel=ro")));
    QCOMPARE(sim.control(QStringLiteral("card blank")), QStringLiteral("error: power off first"));
    QCOMPARE(sim.control(QStringLiteral("files")), QStringLiteral("files: 3"));
    QCOMPARE(sim.readLine(), QStringLiteral("media/operator-notes.txt"));
    QCOMPARE(sim.readLine(), QStringLiteral("zel/firmware.bin"));
    QCOMPARE(sim.readLine(), QStringLiteral("zel/laser.conf"));
    QCOMPARE(sim.readLine(), QStringLiteral("end"));
    QCOMPARE(sim.control(QStringLiteral("power off")), QStringLiteral("ok power off"));
    QVERIFY(sim.control(QStringLiteral("card blank")).startsWith(QStringLiteral("ok card ")));
    QCOMPARE(sim.control(QStringLiteral("power on")), QStringLiteral("ok power on"));
    QVERIFY(sim.control(QStringLiteral("status")).startsWith(
        QStringLiteral("status: power=on connections=0 login=no firmware=running relay=closed zel=ro")));
    QVERIFY(sim.control(QStringLiteral("bogus")).startsWith(QStringLiteral("error: ")));
}

void TestSimBackupE2e::helpNamesEveryFault()
{
    QProcess p;
    p.start(SimulatorProcess::program(), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char* name : {"--bind", "--port", "--card", "--tftp-port", "--headless", "--boot-time", "--no-login-prompt",
                             "--refuse-shell", "--fail-relay", "--fail-mount", "--fail-tar", "--fail-sync",
                             "--fail-tftp", "--handle-at", "--bad-cmdval-at", "--answer-delay", "--drop-after",
                             "--flood-profiles", "--reset-after", "--truncate-upload", "--always-ok", "--stall-tar-after",
                             "--stall-tftp", "--second-upload", "--pack-rate", "--unpack-rate", "--send-rate",
                             "--sync-time", "--cols", "--plain-console", "--version"})
        QVERIFY2(help.contains(QLatin1String(name)), name);
    p.start(SimulatorProcess::program(), {QStringLiteral("--version")});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QRegularExpression(QStringLiteral("^controller-sim \\d+\\.\\d+\\.\\d+\\n$"))
                .match(QString::fromLocal8Bit(p.readAllStandardOutput()))
                .hasMatch());
}

void TestSimBackupE2e::faultsOverRealTcp()
{
    QTemporaryDir card;
    QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card.path()));
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--card"), card.path(), QStringLiteral("--answer-delay"), QStringLiteral("300"),
                       QStringLiteral("--drop-after"), QStringLiteral("2")}));
    ConsoleClient tool;
    QVERIFY(tool.connect(sim.port()));
    QElapsedTimer t;
    t.start();
    tool.send("");
    QVERIFY(tool.waitForEnd("login: ", 5000));
    QVERIFY(t.elapsed() >= 250);
    tool.send("root");
    QVERIFY(tool.waitForPrompt(5000));
    QVERIFY(tool.command("cd /media").endsWith("/media# "));
    tool.send("pwd");
    QVERIFY(tool.waitForClose(5000));
    QVERIFY(tool.text().contains("/media\n"));
}

void TestSimBackupE2e::resetOverRealTcp()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--reset-after"), QStringLiteral("1")}));
    // A plain socket, where a reset (ECONNRESET) and an orderly close (0)
    // are told apart.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    const char lines[] = "root\r\nkillall laser.elf\r\n";
    QCOMPARE(::send(fd, lines, sizeof lines - 1, 0), ssize_t(sizeof lines - 1));
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
    }
    const int why = errno;
    ::close(fd);
    QCOMPARE(n, ssize_t(-1));
    QCOMPARE(why, ECONNRESET);
}

void TestSimBackupE2e::tftpServerErrorOverRealUdp()
{
    if (!TftpServerProcess::available(TftpServerProcess::Hpa))
        QFAIL("tftpd-hpa is not installed (test.sh installs it)");
    UdpRig rig;
    QVERIFY(rig.start(TftpServerProcess::Hpa, QStringLiteral("B"), {}, {}));
    auto& [pc, card, server, sim, tool] = rig;
    tool.command("cd /media");
    const QByteArray out = tool.command("tftp -g -r config.tgz 127.0.0.1");
    QVERIFY2(out.contains("\ntftp: server error: (1) File not found\n"), out.constData());
    QCOMPARE(tool.status(), 1);
    QVERIFY(!QFileInfo::exists(QDir(card.path()).filePath(QStringLiteral("media/config.tgz"))));
}

void TestSimBackupE2e::secondUploadFromTheSameAddress()
{
    if (!TftpServerProcess::available(TftpServerProcess::Open))
        QFAIL("the server program is missing");
    UdpRig rig;
    QVERIFY(rig.start(TftpServerProcess::Open, QStringLiteral("A"), {QStringLiteral("--per-client")},
                      {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--second-upload")}));
    auto& [pc, card, server, sim, tool] = rig;
    QList<int> statuses;
    for (const QByteArray& line : backupLines("127.0.0.1")) {
        if (line == "echo CMDVAL: $?")
            statuses << tool.status();
        else
            tool.command(line);
    }
    QCOMPARE(statuses, (QList<int>{0, 0, 0, 0, 0}));

    // Two uploads from the controller's address: the backup, then the small one.
    static const QRegularExpression storedLine(QStringLiteral(" STORED (\\d+) \\S+ (\\S+) (.+)$"),
                                               QRegularExpression::MultilineOption);
    QList<QRegularExpressionMatch> stored;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        stored.clear();
        auto it = storedLine.globalMatch(QString::fromLocal8Bit(server.log()));
        while (it.hasNext())
            stored << it.next();
        if (stored.size() >= 2)
            break;
        QTest::qWait(50);
    }
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[0].captured(2), QStringLiteral("127.0.0.1"));
    QCOMPARE(stored[1].captured(2), QStringLiteral("127.0.0.1"));
    QVERIFY(stored[0].captured(1).toLongLong() > 1000);
    QVERIFY(stored[1].captured(1).toLongLong() < 400);

    // What the server holds last is that small archive: one member.
    QStringList members;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    QVERIFY(archive_read_open_filename(a, QFile::encodeName(stored[1].captured(3).trimmed()).constData(), 10240) ==
            ARCHIVE_OK);
    archive_entry* e;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK)
        members << QString::fromUtf8(archive_entry_pathname(e));
    archive_read_free(a);
    QCOMPARE(members, QStringList{QStringLiteral("zel/laser.conf")});
}

void TestSimBackupE2e::slowLinkOverRealUdp()
{
    if (!TftpServerProcess::available(TftpServerProcess::Open))
        QFAIL("the server program is missing");
    UdpRig rig;
    QVERIFY(rig.start(TftpServerProcess::Open, QStringLiteral("A"), {},
                      {QStringLiteral("--send-rate"), QStringLiteral("400000")}));
    auto& [pc, card, server, sim, tool] = rig;
    tool.command("cd /");
    tool.command("tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    QCOMPARE(tool.status(), 0);
    tool.command("cd /media");
    tool.command("tftp -p -l config.tgz 127.0.0.1");
    QCOMPARE(tool.status(), 0);
    QFile sent(QDir(card.path()).filePath(QStringLiteral("media/config.tgz")));
    QFile stored(QDir(pc.path()).filePath(QStringLiteral("config.tgz")));
    QVERIFY(sent.open(QIODevice::ReadOnly) && stored.open(QIODevice::ReadOnly));
    const QByteArray bytes = sent.readAll();
    QCOMPARE(stored.readAll(), bytes);
    // And back, paced the other way.
    QVERIFY(sent.remove());
    tool.command("tftp -g -r config.tgz 127.0.0.1");
    QCOMPARE(tool.status(), 0);
    QVERIFY(sent.open(QIODevice::ReadOnly));
    QCOMPARE(sent.readAll(), bytes);
}

void TestSimBackupE2e::stalledTftpOverRealUdp()
{
    if (!TftpServerProcess::available(TftpServerProcess::Open))
        QFAIL("the server program is missing");
    UdpRig rig;
    QVERIFY(rig.start(TftpServerProcess::Open, QStringLiteral("A"), {}, {QStringLiteral("--stall-tftp")}));
    auto& [pc, card, server, sim, tool] = rig;
    tool.command("cd /");
    tool.command("tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    QCOMPARE(tool.status(), 0);
    tool.command("cd /media");
    // Longer than the client's whole retry schedule: still no answer.
    const QByteArray out = tool.command("tftp -p -l config.tgz 127.0.0.1", 16000);
    QVERIFY2(!out.endsWith("# "), out.constData());
    QVERIFY(!out.contains("tftp:"));
    QVERIFY(!server.log().contains(" STORED "));
}

QTEST_GUILESS_MAIN(TestSimBackupE2e)
#include "test_simbackup_e2e.moc"
