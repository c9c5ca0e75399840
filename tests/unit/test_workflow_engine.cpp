// The real workflow against the simulated controller's engine, in-process
// and in virtual time: a backup from card A, the card swapped for blank
// card B, a restore, and card B then holds card A's configuration.
#include "link_probe.h"
#include "card_configuration.h"
#include "engine_rig.h"

#include <QtTest>

using namespace tarvo;

namespace {
// The twelve lines the tool sent from the first one equal to `from`,
// looking at the lines after the first `skip`.
QList<QByteArray> linesSentFrom(const QByteArray& sent, const QByteArray& from, qsizetype skip = 0)
{
    QList<QByteArray> lines = sent.split('\n');
    for (auto& l : lines)
        l.chop(l.endsWith('\r') ? 1 : 0);
    for (qsizetype i = skip; i < lines.size(); ++i)
        if (lines[i] == from)
            return lines.mid(i, 12);
    return {};
}
}  // namespace

class TestWorkflowEngine : public QObject {
    Q_OBJECT

private slots:
    void backupSwapRestore()
    {
        test::EngineRig e;
        QVERIFY(e.copied);
        auto& rig = *e.rig;
        const auto before = snapshot(e.cardPath);
        auto t0 = rig.platform.nowMs();
        e.click();
        const auto backupRun = rig.platform.nowMs() - t0;
        QCOMPARE(rig.controls.buttonCaption(), QStringLiteral("Continue"));
        QVERIFY(rig.prompts.messages.empty());
        QVERIFY(rig.controls.status().startsWith(QStringLiteral("1. Turn off the laser")));
        QVERIFY(!e.pcArchive().isEmpty());
        const QList<QByteArray> backup = linesSentFrom(rig.socket().sent, "mount -o remount /dev/mmcblk0p2 /zel");
        QCOMPARE(backup.size(), 12);
        QCOMPARE(backup[5], QByteArray("tar cvzf /media/config.tgz zel/*.conf media/*.conf "
                                       "media/profiles media/sequences media/prv_bmp"));
        QCOMPARE(backup[10], QByteArray("tftp -p -l config.tgz 192.168.100.10"));
        // Connection, login with one prompt attempt, preparation, relay, and
        // the backup's 11 s, plus the controller's own small delays.
        QVERIFY2(backupRun >= 22000 && backupRun < 22500, qPrintable(QString::number(backupRun)));
        QVERIFY(!e.engine->device().firmwareRunning());

        // The operator's part: power off, swap in card B, power on.
        const QString cardB = e.cards.filePath(QStringLiteral("B"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB));
        e.engine->powerOff();
        QVERIFY(e.engine->insertCard(cardB));
        e.engine->powerOn();
        const auto bBefore = snapshot(cardB);

        const auto sentBefore = rig.socket().sent.count('\n');
        t0 = rig.platform.nowMs();
        e.click();
        const auto restoreRun = rig.platform.nowMs() - t0;
        QCOMPARE(rig.controls.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(rig.controls.status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QVERIFY(rig.prompts.messages.empty());
        QVERIFY2(restoreRun >= 22000 && restoreRun < 22500, qPrintable(QString::number(restoreRun)));
        QCOMPARE(linesSentFrom(rig.socket().sent, "mount -o remount /dev/mmcblk0p2 /zel", sentBefore).size(), 12);

        const auto after = snapshot(cardB);
        for (const auto& [path, bytes] : test::configurationOf(before))
            QVERIFY2(after.count(path) && after.at(path) == bytes, qPrintable(path));
        QCOMPARE(after.at(QStringLiteral("media/operator-notes.txt")), bBefore.at(QStringLiteral("media/operator-notes.txt")));
        QCOMPARE(after.at(QStringLiteral("zel/firmware.bin")), bBefore.at(QStringLiteral("zel/firmware.bin")));
        QVERIFY(!after.count(QStringLiteral("media/logs/system.log")));
        QCOMPARE(tarvo::test::LinkProbe(rig.link()).maxWaitDepth(), 1);
    }

    void aFailingTarKeepsThePcArchive()
    {
        tarvo::simulator::FaultOptions faults;
        faults.failTar = true;
        test::EngineRig e(QStringLiteral("A"), faults);
        QFile old(e.pcFile(QStringLiteral("config.tgz")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the previous good archive");
        old.close();
        e.click();
        auto& rig = *e.rig;
        QCOMPARE(rig.controls.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(rig.prompts.messages.size(), size_t(1));
        QVERIFY(rig.prompts.messages[0].text.startsWith(QStringLiteral("Creating Archive Error for config.tgz, Code: ")));
        QVERIFY(rig.controls.status().startsWith(QStringLiteral("tar:")));
        QCOMPARE(e.pcArchive(), QByteArray("the previous good archive"));
    }
};

QTEST_GUILESS_MAIN(TestWorkflowEngine)
#include "test_workflow_engine.moc"
