// The real tool end to end: its window offscreen, the real controller-sim
// over TCP on loopback, and the real OpenTFTPServerMT that the tool starts
// from its own folder, over UDP.
#include "cardcopy.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

using tarvo::window::MainWindow;

namespace {
// The controller listens on its fixed shell port on an address of its own
// in the loopback range, so that nothing else on 127.0.0.1 is in the way.
const QString kControllerAddress = QStringLiteral("127.0.0.23");

QString binDir()
{
    return qEnvironmentVariable("TARVO_BIN_DIR");
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

std::map<QString, QByteArray> configurationOf(const std::map<QString, QByteArray>& card)
{
    static const QRegularExpression taken(
        QStringLiteral("^(zel/[^/]*\\.conf|media/[^/]*\\.conf|media/(profiles|sequences|prv_bmp)(/.*)?)$"));
    std::map<QString, QByteArray> out;
    for (const auto& [path, bytes] : card)
        if (taken.match(path).hasMatch())
            out[path] = bytes;
    return out;
}
}  // namespace

class TestToolEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir cards, config;
    std::unique_ptr<QTemporaryDir> programDir;
    quint16 tftpPort = 0;
    QProcess sim;
    QStringList messages;

    void stageProgramFolder()
    {
        programDir = std::make_unique<QTemporaryDir>();
        QTemporaryDir& program = *programDir;
        QVERIFY(program.isValid());
        QVERIFY(QFile::copy(binDir() + QStringLiteral("/OpenTFTPServerMT"), program.filePath(QStringLiteral("OpenTFTPServerMT"))));
        tftpPort = freeUdpPort();
        QFile ini(program.filePath(QStringLiteral("OpenTFTPServerMT.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("Port=%1\nBind=127.0.0.1\n").arg(tftpPort).toLatin1());
    }

    void startSimulator(const QString& card, const QStringList& faults = {})
    {
        sim.setProgram(binDir() + QStringLiteral("/controller-sim"));
        sim.setArguments(QStringList{"--headless", "--bind", kControllerAddress, "--port", "1138", "--card", card,
                                     "--tftp-port", QString::number(tftpPort)} + faults);
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(accepts(), 10000);
    }

    bool accepts()
    {
        QTcpSocket probe;
        probe.connectToHost(kControllerAddress, 1138);
        return probe.waitForConnected(200);
    }

    // One control command on the simulator's standard input.
    void control(const QByteArray& command)
    {
        sim.write(command + "\n");
        QVERIFY(sim.waitForBytesWritten(2000));
        QTest::qWait(200);
        sim.readAll();
    }

    std::unique_ptr<MainWindow> makeTool(platform::QtPlatform& platform)
    {
        platform.appPathOverride = programDir->path();
        platform.messageBoxHandler = [this](const QString& text, int) { messages << text; };
        auto window = std::make_unique<MainWindow>(platform);
        window->form().Form_Load();
        window->setTargetAddress(kControllerAddress);
        window->show();
        return window;
    }

    void stopSimulator()
    {
        if (sim.state() == QProcess::NotRunning)
            return;
        sim.write("quit\n");
        if (!sim.waitForFinished(3000)) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(binDir() + QStringLiteral("/controller-sim")).isExecutable(), "controller-sim is built");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }

    void cleanup() { stopSimulator(); }

    void backupCardSwapRestore()
    {
        stageProgramFolder();
        const QString cardA = cards.filePath(QStringLiteral("A"));
        const QString cardB = cards.filePath(QStringLiteral("B"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), cardA));
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB));
        const auto a = snapshot(cardA);
        const auto bBefore = snapshot(cardB);
        startSimulator(cardA);

        platform::QtPlatform platform;
        auto tool = makeTool(platform);
        tool->cmd_Start_Continue->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Continue"));
        QVERIFY(tool->status().startsWith(QStringLiteral("1. Turn off the laser")));
        QVERIFY(QFileInfo(programDir->filePath(QStringLiteral("config.tgz"))).size() > 0);

        control("power off");
        control("card " + cardB.toLocal8Bit());
        control("power on");

        tool->cmd_Start_Continue->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(tool->status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(tool->StatusPanel1->text(), QStringLiteral("Disconnected"));

        const auto b = snapshot(cardB);
        for (const auto& [path, bytes] : configurationOf(a))
            QVERIFY2(b.count(path) && b.at(path) == bytes, qPrintable(path));
        QCOMPARE(b.at(QStringLiteral("media/operator-notes.txt")), bBefore.at(QStringLiteral("media/operator-notes.txt")));
        // The server the tool started is gone: its port is free again.
        QUdpSocket again;
        QVERIFY(again.bind(QHostAddress::LocalHost, tftpPort));
    }

    void aFailingTarIsReportedAndThePcArchiveIsKept()
    {
        stageProgramFolder();
        const QString cardA = cards.filePath(QStringLiteral("A2"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), cardA));
        QFile previous(programDir->filePath(QStringLiteral("config.tgz")));
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("an earlier, good archive");
        previous.close();
        startSimulator(cardA, {"--fail-tar"});

        messages.clear();
        platform::QtPlatform platform;
        auto tool = makeTool(platform);
        tool->cmd_Start_Continue->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QStringLiteral("Creating Archive Error for config.tgz, Code: ")), qPrintable(messages[0]));
        QVERIFY2(tool->status().startsWith(QStringLiteral("tar:")), qPrintable(tool->status()));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        QVERIFY(previous.open(QIODevice::ReadOnly));
        QCOMPARE(previous.readAll(), QByteArray("an earlier, good archive"));
    }
};

QTEST_MAIN(TestToolEndToEnd)
#include "test_tool_e2e.moc"
