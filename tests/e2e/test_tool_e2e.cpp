// The real tool end to end: its window offscreen, the real controller-sim
// over TCP on loopback, and the real OpenTFTPServerMT that the tool starts
// from its own folder, over UDP. The cases on a slow board take minutes:
// they run only with TARVO_SLOW_CASES set, each as a ctest test of its own
// (label slow).
#include "card_configuration.h"
#include "card_copy.h"
#include "loopback_tool.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using tarvo::window::MainWindow;
using namespace tarvo::test;

const QString kControllerAddress = QStringLiteral("127.0.0.23");
// The slow cases run beside the others and one another: each has its own.
const QString kSlowBackupAddress = QStringLiteral("127.0.0.31");
const QString kSlowRestoreAddress = QStringLiteral("127.0.0.32");
const QString kStalledAddress = QStringLiteral("127.0.0.33");

// A configuration of about 60 MB (incompressible previews), and a board that
// packs, unpacks and sends 1 MB a second: each of its long steps takes a
// minute and more.
constexpr int kBigCardMegabytes = 60;
const QString kSlowRate = QStringLiteral("1000000");
constexpr double kMinuteMs = 60000;

#define SKIP_UNLESS_SLOW_CASES()                                                                          \
    if (!qEnvironmentVariableIsSet("TARVO_SLOW_CASES"))                                                   \
        QSKIP("minutes long: runs as a test of its own (ctest -L slow)");

class TestToolEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir cards, config;
    QStringList messages;

    std::unique_ptr<MainWindow> makeTool(tarvo::platform::QtPlatform& platform, const ProgramFolder& program,
                                         const QString& controller = kControllerAddress)
    {
        program.use(platform);
        auto window = std::make_unique<MainWindow>(platform);
        window->prompts().messageHandler = [this](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        window->load();
        window->setTargetAddress(controller);
        window->show();
        return window;
    }

    static void click(MainWindow& tool) { tool.findChild<QPushButton*>(QStringLiteral("startButton"))->click(); }
    // Short on the label; the file is named in the log and the tooltip.
    static bool backupShownVerified(MainWindow& tool, const ProgramFolder& program)
    {
        const QString history = program.archives() + QStringLiteral("/history/");
        const bool shown = QRegularExpression(QStringLiteral("\r\nBackup verified: \\d+ files, [\\d.]+ (bytes|kB|MB)$"))
                               .match(tool.status())
                               .hasMatch()
                           && tool.findChild<QPlainTextEdit*>(QStringLiteral("logView"))->toPlainText().contains(
                               QStringLiteral("Backup verified: ") + history)
                           && tool.findChild<QLabel*>(QStringLiteral("statusLabel"))->toolTip().contains(
                               QDir::toNativeSeparators(history));
        if (!shown)
            qWarning("status: %s", qPrintable(tool.status()));
        return shown;
    }
    static QString seconds(double ms) { return QString::number(ms / 1000, 'f', 1) + QStringLiteral(" s"); }

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
        QVERIFY(backupShownVerified(*tool, program));
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

    // ------------------------------------------------- a slow board

    void aBigBackupOnASlowBoard()
    {
        SKIP_UNLESS_SLOW_CASES();
        ProgramFolder program;
        QVERIFY(program.stage());
        const QString card = cards.filePath(QStringLiteral("big-backup"));
        QVERIFY(makeBigCard(card, kBigCardMegabytes));
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kSlowBackupAddress, card, program.tftpPort,
                                 {"--pack-rate", kSlowRate, "--send-rate", kSlowRate}));

        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program, kSlowBackupAddress);
        LinkTimeline timeline(tool->updater().link());
        click(*tool);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Continue"));
        QVERIFY(backupShownVerified(*tool, program));
        QVERIFY(QFileInfo(program.archive(kSlowBackupAddress)).size() > kBigCardMegabytes * 1000 * 1000);
        // Neither long step was cut off.
        const double tar = timeline.stepMs("tar cvzf "), put = timeline.stepMs("tftp -p ");
        qInfo("tar %s, tftp %s", qPrintable(seconds(tar)), qPrintable(seconds(put)));
        QVERIFY2(tar > kMinuteMs && put > kMinuteMs, qPrintable(seconds(tar) + " / " + seconds(put)));
    }

    void aBigRestoreOnASlowBoard()
    {
        SKIP_UNLESS_SLOW_CASES();
        ProgramFolder program;
        QVERIFY(program.stage());
        const QString cardA = cards.filePath(QStringLiteral("big-original"));
        const QString cardB = cards.filePath(QStringLiteral("big-new"));
        QVERIFY(makeBigCard(cardA, kBigCardMegabytes));
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB));
        {
            // The controller's own tar packs the archive on a quick board; it
            // lies where the PC's server files this controller's uploads.
            SimulatorProcess quick;
            QVERIFY(quick.start({"--card", cardA, "--pack-rate", "1000000000"}));
            ConsoleClient console;
            QVERIFY(console.connect(quick.port()) && console.login());
            console.command("cd /");
            console.command("tar czf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences "
                            "media/prv_bmp");
            QCOMPARE(console.status(), 0);
        }
        const QString archive = program.archive(kSlowRestoreAddress);
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        QVERIFY(QFile::copy(cardA + QStringLiteral("/media/config.tgz"), archive));
        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program, kSlowRestoreAddress);
        tool->updater().store().setArchiveToRestore(archive);
        tool->updater().workflow().setPhase(tarvo::workflow::Workflow::Phase::Restore);
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Continue"));
        // A named archive tells no laser: the operator confirms it is this one's.
        QStringList asked;
        tool->prompts().questionHandler = [&asked](const QString& text) {
            asked << text;
            return true;
        };
        // The new card, in a slow board.
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kSlowRestoreAddress, cardB, program.tftpPort,
                                 {"--unpack-rate", kSlowRate, "--send-rate", kSlowRate}));
        LinkTimeline timeline(tool->updater().link());
        click(*tool);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(tool->status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        const double get = timeline.stepMs("tftp -g "), tar = timeline.stepMs("tar xvzf ");
        qInfo("tftp %s, tar %s", qPrintable(seconds(get)), qPrintable(seconds(tar)));
        QVERIFY2(get > kMinuteMs && tar > kMinuteMs, qPrintable(seconds(get) + " / " + seconds(tar)));

        // Every byte of the configuration, the big previews included.
        const auto original = configurationOf(snapshot(cardA));
        const auto restored = snapshot(cardB);
        QVERIFY(original.count(QStringLiteral("media/prv_bmp/big/preview_007.bmp")));
        for (const auto& [path, bytes] : original)
            QVERIFY2(restored.count(path) && restored.at(path) == bytes, qPrintable(path));
    }

    void aStalledTarIsGivenUpAfterItsSilence()
    {
        SKIP_UNLESS_SLOW_CASES();
        // tar lists slowly for longer than one plain give-up, then hangs
        // before its last member.
        ProgramFolder program;
        QVERIFY(program.stage());
        const QString card = cards.filePath(QStringLiteral("stalled"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card));
        SimulatorProcess sim;
        QVERIFY(startOnShellPort(sim, kStalledAddress, card, program.tftpPort,
                                 {"--pack-rate", "15000", "--stall-tar-after", "35"}));

        tarvo::platform::QtPlatform platform;
        auto tool = makeTool(platform, program, kStalledAddress);
        LinkTimeline timeline(tool->updater().link());
        double silenceMs = -1, lastLineMs = -1;
        tool->prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) {
            messages << text;
            lastLineMs = timeline.lastArrivalMs();
            silenceMs = timeline.nowMs() - lastLineMs;
        };
        click(*tool);
        qInfo("last line %s after tar, given up %s after it", qPrintable(seconds(lastLineMs - timeline.sentAt("tar cvzf "))),
              qPrintable(seconds(silenceMs)));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QStringLiteral("Creating Archive Error for config.tgz, Code: -99\nThe laser did not "
                                                       "answer this step in time")),
                 qPrintable(messages[0]));
        QVERIFY2(lastLineMs - timeline.sentAt("tar cvzf ") > 22500,
                 qPrintable(seconds(lastLineMs - timeline.sentAt("tar cvzf "))));
        // 22.5 s counted from the last line's arrival, to the millisecond
        // the tool's clock reads.
        QVERIFY2(silenceMs >= 22499 && silenceMs <= 25000, qPrintable(seconds(silenceMs)));
        QVERIFY(tool->status().startsWith(QStringLiteral("Reading config data failed.")));
        QVERIFY(tool->status().contains(QStringLiteral("power-cycle the laser")));
        QCOMPARE(tool->buttonCaption(), QStringLiteral("Start"));
        const QString log = tool->findChild<QPlainTextEdit*>(QStringLiteral("logView"))->toPlainText();
        QVERIFY2(log.contains(QStringLiteral("No answer from the controller: it had been silent for 22.")),
                 qPrintable(log.right(400)));
        QVERIFY(log.contains(QStringLiteral("media/prv_bmp/logo.bmp")));
        QVERIFY(!log.contains(QStringLiteral("media/prv_bmp/steel_plate.bmp")));
    }
};

QTEST_MAIN(TestToolEndToEnd)
#include "test_tool_e2e.moc"
