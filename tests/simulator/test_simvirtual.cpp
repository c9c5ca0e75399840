// The controller behind the tool's own virtual socket, with the in-memory
// TFTP transport: a whole backup, a card swap and a whole restore in
// virtual time, as a workflow test will run them.

#include "backup_script.h"
#include "controller_harness.h"

#include "virtual_socket_adapter.h"

#include <QTest>

namespace {

// The tool's side of the socket, reduced to what the exchange needs.
struct VirtualTool {
    explicit VirtualTool(TestClock& c) : clock(c)
    {
        socket = clock.createSocket();
        socket->onReadyRead = [this] {
            if (auto d = socket->readAll())
                in += *d;
        };
        socket->onError = [this](tarvo::platform::SocketError error, const QString&) { lastError = error; };
    }
    bool connect()
    {
        in.clear();
        lastError.reset();
        socket->close();
        socket->connectToHost(QStringLiteral("192.168.100.1"), 1138);
        clock.runUntil([&] { return socket->state() == tarvo::platform::SocketState::Connected || lastError.has_value(); }, 10000);
        return socket->state() == tarvo::platform::SocketState::Connected;
    }
    bool login()
    {
        socket->write("\r\n");
        if (!clock.runUntil([&] { return in.endsWith("login: "); }, 10000))
            return false;
        in.clear();
        socket->write("root\r\n");
        return clock.runUntil([&] { return atPrompt(); }, 10000);
    }
    // The shell waits at its prompt, asking for the cursor's position.
    bool atPrompt() const { return in.endsWith("# \x1b[6n"); }
    QByteArray command(const QByteArray& line)
    {
        in.clear();
        socket->write(line + "\r\n");
        clock.runUntil([&] { return atPrompt() || socket->state() != tarvo::platform::SocketState::Connected; }, 120000);
        return in;
    }
    TestClock& clock;
    std::unique_ptr<tarvo::platform::TcpSocket> socket;
    QByteArray in;
    std::optional<tarvo::platform::SocketError> lastError;
};

QList<int> runScript(VirtualTool& tool, const QList<QByteArray>& lines, QByteArray* transcript)
{
    QList<int> statuses;
    for (const QByteArray& line : lines) {
        const QByteArray out = tool.command(line);
        *transcript += out;
        if (line == "echo CMDVAL: $?") {
            const int at = out.indexOf("\r\nCMDVAL: ");
            statuses << (at < 0 ? -1000 : out.mid(at + 10, out.indexOf('\r', at + 2) - at - 10).toInt());
        }
    }
    return statuses;
}

}  // namespace

class TestSimVirtual : public QObject {
    Q_OBJECT
private slots:
    void backupSwapRestore();
    void refusedWhilePoweredOff();
    void refusedWhileBooting();
    void tftpTimesOutWithoutServer();
    void tftpServerErrorIsReported();
    void otherPortsAreRefused();
    void tftpGetOfMissingFileLeavesNothing();
};

void TestSimVirtual::backupSwapRestore()
{
    ControllerHarness h;
    tarvo::simulator::attachToVirtualPlatform(h.clock, *h.engine);
    VirtualTool tool(h.clock);
    QVERIFY(tool.connect());
    QVERIFY(tool.login());
    const auto start = h.clock.nowMs();
    QByteArray transcript;
    QCOMPARE(runScript(tool, backupLines("192.168.100.10"), &transcript), (QList<int>{0, 0, 0, 0, 0}));
    QVERIFY(h.clock.nowMs() - start > 300);
    QCOMPARE(h.tftp->transfers.size(), size_t(1));
    QCOMPARE(h.tftp->transfers[0].host, QStringLiteral("192.168.100.10"));
    QCOMPARE(h.tftp->transfers[0].port, quint16(69));
    QVERIFY(QFileInfo(QDir(h.pcDir.path()).filePath(QStringLiteral("config.tgz"))).size() > 1000);
    const auto cardA = snapshot(h.cardDir.path());

    // The card swap: power off closes the tool's connection.
    h.engine->powerOff();
    h.clock.runFor(100);
    QVERIFY(tool.socket->state() != tarvo::platform::SocketState::Connected);
    QTemporaryDir cardB;
    QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB.path()));
    const auto beforeRestore = snapshot(cardB.path());
    QVERIFY(h.engine->insertCard(cardB.path()));
    h.engine->powerOn();

    QVERIFY(tool.connect());
    QVERIFY(tool.login());
    transcript.clear();
    QCOMPARE(runScript(tool, restoreLines("192.168.100.10"), &transcript), (QList<int>{0, 0, 0, 0, 0}));
    const auto cardAfter = snapshot(cardB.path());
    for (const auto& [rel, bytes] : cardA) {
        if (takenByBackup(rel))
            QVERIFY2(cardAfter.count(rel) && cardAfter.at(rel) == bytes, qPrintable(rel));
    }
    QCOMPARE(cardAfter.at(QStringLiteral("media/operator-notes.txt")), beforeRestore.at(QStringLiteral("media/operator-notes.txt")));
    QCOMPARE(cardAfter.at(QStringLiteral("zel/firmware.bin")), beforeRestore.at(QStringLiteral("zel/firmware.bin")));
    QVERIFY(!cardAfter.count(QStringLiteral("media/logs")));
}

void TestSimVirtual::refusedWhilePoweredOff()
{
    ControllerHarness h;
    tarvo::simulator::attachToVirtualPlatform(h.clock, *h.engine);
    VirtualTool tool(h.clock);
    h.engine->powerOff();
    QVERIFY(!tool.connect());
    QVERIFY(tool.lastError == tarvo::platform::SocketError::ConnectionRefused);
    h.engine->powerOn();
    QVERIFY(tool.connect());
    QVERIFY(tool.login());
}

void TestSimVirtual::refusedWhileBooting()
{
    tarvo::simulator::EngineOptions options;
    options.bootMs = 20000;
    ControllerHarness h({}, QStringLiteral("A"), options);
    tarvo::simulator::attachToVirtualPlatform(h.clock, *h.engine);
    VirtualTool tool(h.clock);
    QVERIFY(tool.connect());  // the controller was on before the test began
    h.engine->powerOff();
    h.engine->powerOn();
    QVERIFY(h.engine->statusLine().startsWith(QStringLiteral("power=booting")));
    QVERIFY(!tool.connect());
    QVERIFY(tool.lastError == tarvo::platform::SocketError::ConnectionRefused);
    h.clock.runFor(20000);
    QVERIFY(h.engine->isAccepting());
    QVERIFY(tool.connect());
    QVERIFY(tool.login());
}

void TestSimVirtual::tftpTimesOutWithoutServer()
{
    ControllerHarness h;
    h.tftp->serverRunning = [](const QString&, quint16) { return false; };
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    const auto before = h.clock.nowMs();
    QCOMPARE(h.command("tftp -p -l machine.conf 192.168.100.10"), QByteArray("tftp: timeout\r\n"));
    const auto took = h.clock.nowMs() - before;
    QVERIFY2(took >= 12500 && took <= 14000, QByteArray::number(took).constData());
    QCOMPARE(h.status(), 1);
}

void TestSimVirtual::tftpServerErrorIsReported()
{
    ControllerHarness h;
    h.tftp->serverError = [](bool put, const QString& name, QString* text) {
        *text = QStringLiteral("Disk full or allocation exceeded");
        return put && name == QLatin1String("machine.conf") ? 3 : -1;
    };
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QCOMPARE(h.command("tftp -p -l machine.conf 192.168.100.10"),
             QByteArray("tftp: server error: (3) Disk full or allocation exceeded\r\n"));
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("tftp -p -l user.conf 192.168.100.10"), QByteArray());
    QCOMPARE(h.status(), 0);
}

void TestSimVirtual::otherPortsAreRefused()
{
    ControllerHarness h;
    tarvo::simulator::attachToVirtualPlatform(h.clock, *h.engine);
    VirtualTool tool(h.clock);
    tool.socket->connectToHost(QStringLiteral("192.168.100.1"), 23);
    h.clock.runUntil([&] { return tool.lastError.has_value(); }, 10000);
    QVERIFY(tool.lastError == tarvo::platform::SocketError::ConnectionRefused);
    QVERIFY(tool.connect());
}

void TestSimVirtual::tftpGetOfMissingFileLeavesNothing()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /media");
    QCOMPARE(h.command("tftp -g -r config.tgz 192.168.100.10"), QByteArray("tftp: server error: (1) File not found\r\n"));
    QCOMPARE(h.status(), 1);
    QVERIFY(!QFileInfo::exists(h.cardPath(QStringLiteral("media/config.tgz"))));
    QCOMPARE(h.command("tftp -p -l nothing.tgz 192.168.100.10"),
             QByteArray("tftp: can't open 'nothing.tgz': No such file or directory\r\n"));
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("tftp -g -r x.conf 192.168.100.10 6969; echo $?"), QByteArray("tftp: server error: (1) File not found\r\n1\r\n"));
    QCOMPARE(h.tftp->transfers.back().port, quint16(6969));
    h.command("cd /zel");
    QCOMPARE(h.command("tftp -g -r x.conf 192.168.100.10"),
             QByteArray("tftp: can't open 'x.conf': Read-only file system\r\n"));
    QCOMPARE(h.command("tftp 192.168.100.10"), h.command("tftp -x"));
    QCOMPARE(h.status(), 1);
    QCOMPARE(h.command("tftp -g -r x.conf not.an.address"), QByteArray("tftp: bad address 'not.an.address'\r\n"));
}

QTEST_GUILESS_MAIN(TestSimVirtual)
#include "test_simvirtual.moc"
