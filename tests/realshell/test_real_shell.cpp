// The tool against a real controller shell: busybox sh on a
// pseudo-terminal behind TCP 1138 (busybox_controller), in a network
// namespace behind a veth pair, whose own tftp client reaches the tool's
// server on UDP port 69 of the PC's side. Every case runs as a ctest test
// of its own (label realshell); needs root, and skips without it.
#include "card_configuration.h"
#include "card_copy.h"
#include "fake_tftp_server.h"
#include "loopback_tool.h"
#include "network_namespace.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using tarvo::window::MainWindow;
using namespace tarvo::test;

namespace {

// Cases of this test run side by side, each in a subnet of its own, above
// those of the other tests on real links (1 to 200).
int subnetFor(int caseNumber)
{
    return 200 + caseNumber;
}

// The controller: busybox_controller inside the namespace, serving card.
class RealController {
public:
    ~RealController()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();  // this PID; its sessions die with it
            process_.waitForFinished(3000);
        }
    }

    bool start(const NetworkNamespace& space, const QString& card)
    {
        const QStringList line = space.commandLine(QStringLiteral(TARVO_BUSYBOX_CONTROLLER),
                                                   {QStringLiteral("--card"), card, QStringLiteral("--busybox"),
                                                    QStringLiteral(TARVO_BUSYBOX)});
        process_.setProgram(line.first());
        process_.setArguments(line.mid(1));
        process_.start();
        return process_.waitForStarted(5000) && nextLine().startsWith("listening on");
    }

    // Waits until the shell of the last connection is gone and its /zel is
    // written back onto the card.
    bool sessionEnded() { return nextLine() == "session ended"; }
    QByteArray errors() { return process_.readAllStandardError(); }

private:
    QByteArray nextLine()
    {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            const qsizetype end = out_.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = out_.left(end);
                out_.remove(0, end + 1);
                return line;
            }
            if (process_.state() == QProcess::NotRunning)
                break;
            process_.waitForReadyRead(100);
            out_ += process_.readAllStandardOutput();
        }
        qWarning("busybox_controller: %s", process_.readAllStandardError().constData());
        return {};
    }

    QProcess process_;
    QByteArray out_;
};

QString transcripts(const ProgramFolder& program)
{
    QString all;
    const QDir folder(program.archives() + QStringLiteral("/transcripts"));
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        QFile f(folder.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(f.readAll());
    }
    return all;
}

// One laser: its namespace, the controller on its card, and the program
// folder whose server listens on the PC's side of the link.
struct Laser {
    // Each case's laser has a MAC of its own: one MAC on several addresses
    // at once is no laser's identity.
    explicit Laser(int caseNumber)
        : space(subnetFor(caseNumber), QStringLiteral("02:00:00:25:00:%1").arg(caseNumber, 2, 10, QLatin1Char('0')))
    {
    }
    // TARVO_SHOW_TRANSCRIPTS=1 prints what the real shell said.
    ~Laser()
    {
        if (qEnvironmentVariableIsSet("TARVO_SHOW_TRANSCRIPTS"))
            qInfo().noquote() << transcripts(program);
    }
    NetworkNamespace space;
    ProgramFolder program;
    RealController controller;
    QTemporaryDir card;

    // tftpPort: where the PC's server listens; the laser's tftp asks 69.
    bool start(const QString& sampleCardName, quint16 tftpPort = 69)
    {
        if (!space.isUp()) {
            qWarning("%s", qPrintable(space.error()));
            return false;
        }
        return card.isValid() && copyTree(sampleCard(sampleCardName), card.path())
               && program.stage(space.hostAddress(), tftpPort) && program.stageTool()
               && controller.start(space, card.path());
    }
    QString address() const { return space.address(); }
    QString path(const QString& name) const { return card.filePath(name); }
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The card's configuration is replaced by another card's, as after a swap.
bool swapCard(const QString& card, const QString& sampleCardName)
{
    return QDir(card).removeRecursively() && copyTree(sampleCard(sampleCardName), card);
}

}  // namespace

class TestRealShell : public QObject {
    Q_OBJECT

    QTemporaryDir config;

    // A headless backup, the card swapped for sample card B, a headless
    // restore, and the new card holds the old one's configuration, file by
    // file.
    void backUpSwapRestore(Laser& laser)
    {
        const auto before = configurationOf(snapshot(laser.card.path()));
        const auto backup = runTool(laser.program, {QStringLiteral("--backup"), laser.address()}, config.path());
        QVERIFY2(backup.exitCode == 0 && backup.results.size() == 1, (backup.out + backup.err).constData());
        QCOMPARE(backup.results[0].result, QStringLiteral("ok"));
        QVERIFY(laser.controller.sessionEnded());
        QVERIFY(swapCard(laser.card.path(), QStringLiteral("B")));
        const auto restore = runTool(laser.program, {QStringLiteral("--restore"), laser.address()}, config.path());
        QVERIFY2(restore.exitCode == 0, (restore.out + restore.err).constData());
        QVERIFY(laser.controller.sessionEnded());
        const auto after = configurationOf(snapshot(laser.card.path()));
        for (const auto& [path, bytes] : before)
            QVERIFY2(after.count(path) && after.at(path) == bytes, qPrintable(path));
        QCOMPARE(after.size(), before.size());
    }

private slots:
    void initTestCase()
    {
        const QString reason = NetworkNamespace::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(QStringLiteral("the real-shell tier needs root: ") + reason));
        QVERIFY2(QFileInfo(QStringLiteral(TARVO_BUSYBOX)).isExecutable(), "busybox-static is installed");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }

    void theSampleCardIsBackedUpAndRestoredHeadless()
    {
        Laser laser(1);
        QVERIFY(laser.start(QStringLiteral("A")));
        backUpSwapRestore(laser);
        // What the real shell said: the login prompt, the wrapped echo.
        const QString said = transcripts(laser.program);
        QVERIFY2(said.contains(QStringLiteral("< laser login: ")), qPrintable(said.left(2000)));
        QVERIFY(said.contains(QStringLiteral("< media/sequences media/prv_bmp")));
    }

    void aCardWithTwentyThousandMoreFilesAndOddNames()
    {
        Laser laser(2);
        QVERIFY(laser.start(QStringLiteral("A")));
        for (int i = 0; i < 20000; ++i)
            QVERIFY(writeFile(laser.path(QStringLiteral("media/profiles/many/%1/p%2.prf").arg(i / 1000).arg(i)),
                              QByteArray::number(i)));
        QVERIFY(writeFile(laser.path(QStringLiteral("media/profiles/Lost Handle")), "power=80\n"));
        QVERIFY(writeFile(laser.path(QStringLiteral("media/profiles/Stahl dünn/cut 2 mm.prf")), "power=40\n"));
        backUpSwapRestore(laser);
    }

    void theWindowBacksUpAndRestores()
    {
        Laser laser(3);
        QVERIFY(laser.start(QStringLiteral("A")));
        QVERIFY(writeFile(laser.path(QStringLiteral("media/profiles/Lost Handle")), "power=80\n"));
        const auto before = configurationOf(snapshot(laser.card.path()));
        tarvo::platform::QtPlatform platform;
        laser.program.use(platform);
        QStringList messages;
        MainWindow window(platform);
        window.prompts().messageHandler = [&messages](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        window.load();
        window.setTargetAddress(laser.address());
        window.show();
        QPushButton* button = window.findChild<QPushButton*>(QStringLiteral("startButton"));
        button->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(window.buttonCaption(), QStringLiteral("Continue"));
        QVERIFY2(window.status().startsWith(QStringLiteral(
                     "1. Turn off the laser and replace SD card. Do NOT close the application!\r\n"
                     "2. Turn on the laser and verify/change IP address.\r\n3. Click the Continue button when done.")),
                 qPrintable(window.status()));
        QVERIFY(laser.controller.sessionEnded());
        QVERIFY(swapCard(laser.card.path(), QStringLiteral("B")));
        button->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(window.status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QCOMPARE(window.buttonCaption(), QStringLiteral("Start"));
        QVERIFY(laser.controller.sessionEnded());
        const auto after = configurationOf(snapshot(laser.card.path()));
        for (const auto& [path, bytes] : before)
            QVERIFY2(after.count(path) && after.at(path) == bytes, qPrintable(path));
        window.close();
    }

    void aFailingTarIsReported()
    {
        // No media/*.conf: busybox tar names the pattern and exits 1.
        Laser laser(4);
        QVERIFY(laser.start(QStringLiteral("B")));
        const auto backup = runTool(laser.program, {QStringLiteral("--backup"), laser.address()}, config.path());
        QVERIFY2(backup.exitCode != 0, backup.out.constData());
        QVERIFY2(backup.err.contains("Creating Archive Error for config.tgz, Code: 1"), backup.err.constData());
        QVERIFY2(backup.err.contains("tar: media/*.conf: No such file or directory"), backup.err.constData());
    }

    void aTarThatFallsSilentIsGivenUp()
    {
        // A sparse terabyte: tar names it, then packs zeros in silence.
        Laser laser(6);
        QVERIFY(laser.start(QStringLiteral("A")));
        QFile huge(laser.path(QStringLiteral("media/prv_bmp/zz_huge.bmp")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 40));
        huge.close();
        const auto backup = runTool(laser.program, {QStringLiteral("--backup"), laser.address()}, config.path());
        QVERIFY2(backup.exitCode != 0, backup.out.constData());
        QVERIFY2(backup.err.contains("Creating Archive Error for config.tgz, Code: -99"), backup.err.constData());
        QVERIFY2(backup.err.contains("power-cycle the laser"), backup.err.constData());
        QVERIFY(laser.controller.sessionEnded());
    }

    void aMemberHiddenPastOneZeroBlockIsNeverSent()
    {
        // Good members, one zero block, then what busybox tar would go on
        // to unpack: refused on the PC, the laser's card untouched.
        Laser laser(7);
        QVERIFY(laser.start(QStringLiteral("A")));
        const auto before = snapshot(laser.card.path());
        const QByteArray good = tarvo::test::tarOf({{"zel/laser.conf", "power=80\n"}}).chopped(1024);
        const QByteArray hidden
            = tarvo::test::tarOf({{"root/.profile", "evil\n"}, {"zel/laser.conf", "power=999\n"}}).chopped(1024);
        const QString crafted = laser.program.path(QStringLiteral("crafted.tgz"));
        QVERIFY(writeFile(crafted, tarvo::test::gzipped(good + QByteArray(512, '\0') + hidden + QByteArray(1024, '\0'))));
        const auto restore = runTool(laser.program,
                                     {QStringLiteral("--restore"), laser.address(), QStringLiteral("--archive"), crafted,
                                      QStringLiteral("--allow-other-laser")},
                                     config.path());
        QCOMPARE(restore.exitCode, 3);
        QVERIFY2(restore.err.contains("end marker"), restore.err.constData());
        QVERIFY(snapshot(laser.card.path()) == before);
    }

    void aFailingTftpIsReported()
    {
        // The PC's server listens, but not where the laser's tftp asks.
        Laser laser(5);
        QVERIFY(laser.start(QStringLiteral("A"), freeUdpPort()));
        const auto backup = runTool(laser.program, {QStringLiteral("--backup"), laser.address()}, config.path());
        QVERIFY2(backup.exitCode != 0, backup.out.constData());
        QVERIFY2(backup.err.contains("TFTP Read Error for config.tgz, Code: 1"), backup.err.constData());
        QVERIFY2(backup.err.contains("tftp: "), backup.err.constData());
    }
};

QTEST_MAIN(TestRealShell)
#include "test_real_shell.moc"
