// The real tool end to end: its window offscreen, the real controller-sim
// over TCP on loopback, and the real OpenTFTPServerMT that the tool starts
// from its own folder, over UDP.
#include "card_configuration.h"
#include "card_copy.h"
#include "loopback_tool.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QLabel>
#include <QPushButton>
#include <QDir>
#include <QtTest>

using tarvo::window::MainWindow;
using namespace tarvo::test;

const QString kControllerAddress = QStringLiteral("127.0.0.23");

class TestToolEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir cards, config;
    QStringList messages;

    std::unique_ptr<MainWindow> makeTool(tarvo::platform::QtPlatform& platform, const ProgramFolder& program)
    {
        program.use(platform);
        platform.messageBoxHandler = [this](const QString& text, tarvo::platform::MessageIcon) { messages << text; };
        auto window = std::make_unique<MainWindow>(platform);
        window->load();
        window->setTargetAddress(kControllerAddress);
        window->show();
        return window;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(QStringLiteral(TARVO_SIMULATOR_PROGRAM)).isExecutable(), "controller-sim is built");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }

    void init() { messages.clear(); }

    void backupCardSwapRestore()
    {
        ProgramFolder program;
        QVERIFY(program.stage());
        const QString cardA = cards.filePath(QStringLiteral("A"));
        const QString cardB = cards.filePath(QStringLiteral("B"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), cardA));
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB));
        const auto a = snapshot(cardA);
        const auto bBefore = snapshot(cardB);
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kControllerAddress, cardA, program.tftpPort));

        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program);
        tool->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Continue"));
        QVERIFY(tool->status().startsWith(QStringLiteral("1. Turn off the laser")));
        QVERIFY(tool->status().contains(QStringLiteral("Backup verified: ") + program.archives() + "/history/"));
        QVERIFY(QFileInfo(program.archive(kControllerAddress)).size() > 0);

        QVERIFY(sim.control(QStringLiteral("power off")).startsWith(QStringLiteral("ok")));
        QVERIFY(sim.control(QStringLiteral("card ") + cardB).startsWith(QStringLiteral("ok")));
        QVERIFY(sim.control(QStringLiteral("power on")).startsWith(QStringLiteral("ok")));

        // The tool is closed during the swap and started again: it still
        // knows that the backup waits to be restored.
        tool.reset();
        tool = makeTool(platform, program);
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Continue"));
        tool->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(tool->status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(tool->findChild<QLabel*>(QStringLiteral("linkStateLabel"))->text(), QStringLiteral("Disconnected"));

        const auto b = snapshot(cardB);
        for (const auto& [path, bytes] : configurationOf(a))
            QVERIFY2(b.count(path) && b.at(path) == bytes, qPrintable(path));
        QCOMPARE(b.at(QStringLiteral("media/operator-notes.txt")), bBefore.at(QStringLiteral("media/operator-notes.txt")));
        // The server the tool started is gone: its port is free again.
        QUdpSocket again;
        QVERIFY(again.bind(QHostAddress::LocalHost, program.tftpPort));
    }

    void aServerThatCannotStartLeavesTheLaserAlone()
    {
        ProgramFolder program;
        QVERIFY(program.stage());
        QUdpSocket holder;  // another program holds the server's port
        QVERIFY(holder.bind(QHostAddress::LocalHost, program.tftpPort));
        const QString card = cards.filePath(QStringLiteral("A3"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card));
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kControllerAddress, card, program.tftpPort));

        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program);
        tool->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(QStringLiteral("UDP port %1 is in use").arg(program.tftpPort)), qPrintable(messages[0]));
        QVERIFY2(sim.control(QStringLiteral("status")).contains(QStringLiteral("connections=0")),
                 "the controller was never contacted");
        QVERIFY(tool->findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled());
    }

    void aFailedBackupKeepsWhatThePcHad_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        // The controller's tftp cuts the upload short and still reports 0.
        QTest::newRow("truncated upload") << "--truncate-upload"
                                          << "The backup on the PC is not usable: it is damaged"
                                          << "Reading config data failed.";
        QTest::newRow("failing tar") << "--fail-tar" << "Creating Archive Error for config.tgz, Code: " << "tar:";
        // Right after the laser's upload, another sender on its address puts
        // a small archive of its own under the same name.
        QTest::newRow("second upload") << "--second-upload"
                                       << "The backup on the PC is not usable: the PC's TFTP server stored 2 "
                                          "uploads from " + kControllerAddress
                                       << "Reading config data failed.";
    }

    void aFailedBackupKeepsWhatThePcHad()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(QString, status);
        ProgramFolder program;
        QVERIFY(program.stage());
        const QString card = cards.filePath(fault);
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card));
        const QString previous = program.archive(kControllerAddress);
        QDir().mkpath(QFileInfo(previous).path());
        QFile earlier(previous);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("an earlier, good archive") > 0);
        earlier.close();
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kControllerAddress, card, program.tftpPort, {fault}));

        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program);
        tool->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(message), qPrintable(messages[0]));
        QVERIFY2(tool->status().startsWith(status), qPrintable(tool->status()));
        QVERIFY(tool->status().contains(QStringLiteral("power-cycle the laser")));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        QVERIFY(QDir(program.archives() + QStringLiteral("/history")).isEmpty());
        // The earlier archive is where it was, or kept aside by the server
        // when a (bad) upload replaced it.
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        const QDir kept(QFileInfo(previous).path() + QStringLiteral("/backups"));
        bool keptAside = false;
        for (const QString& name : kept.entryList(QDir::Files)) {
            QFile copy(kept.filePath(name));
            keptAside |= copy.open(QIODevice::ReadOnly) && copy.readAll() == "an earlier, good archive";
        }
        QVERIFY(earlier.readAll() == "an earlier, good archive" || keptAside);
    }
};

QTEST_MAIN(TestToolEndToEnd)
#include "test_tool_e2e.moc"
