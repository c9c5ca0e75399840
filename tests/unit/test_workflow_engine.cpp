// The real workflow against the simulated controller's engine, in-process
// and in virtual time: a backup from card A, the card swapped for blank
// card B, a restore, and card B then holds card A's configuration.
#include "cardcopy.h"
#include "virtual_rig.h"

#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "simulator/virtualsocketadapter.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarvo;

namespace {
// What a backup takes: the .conf files of /zel and /media and three trees.
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

class TestWorkflowEngine : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> pcDir, cardADir, cardBDir;
    std::unique_ptr<test::VirtualRig> rig;
    std::unique_ptr<simulator::MemoryTftpTransport> transport;
    std::unique_ptr<simulator::ControllerEngine> engine;

    bool serverRunning() const
    {
        for (const auto& p : rig->platform.processes)
            if (!p.closed)
                return true;
        return false;
    }

    void setUpWith(const simulator::FaultOptions& faults)
    {
        engine.reset();
        transport.reset();
        rig.reset();
        pcDir = std::make_unique<QTemporaryDir>();
        cardADir = std::make_unique<QTemporaryDir>();
        cardBDir = std::make_unique<QTemporaryDir>();
        QTemporaryDir& pc = *pcDir;
        QTemporaryDir& cardA = *cardADir;
        QTemporaryDir& cardB = *cardBDir;
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), cardA.path()));
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), cardB.path()));
        rig = std::make_unique<test::VirtualRig>();
        rig->platform.appPathValue = pc.path();
        rig->platform.useRealFiles = true;
        rig->form->Form_Load();
        QFile exe(pc.filePath(QStringLiteral("OpenTFTPServerMT")));
        QVERIFY(exe.open(QIODevice::WriteOnly));
        transport = std::make_unique<simulator::MemoryTftpTransport>(rig->platform, pc.path());
        transport->serverRunning = [this](const QString&, quint16) { return serverRunning(); };
        engine = std::make_unique<simulator::ControllerEngine>(rig->platform, *transport, cardA.path(),
                                                               simulator::EngineOptions{}, faults);
        simulator::attachToVirtualSocket(rig->socket(), *engine);
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.7"));
    }

    // The lines the tool sent, from the first one equal to `from`.
    QList<QByteArray> linesSentFrom(const QByteArray& from, qsizetype skip = 0)
    {
        QList<QByteArray> lines = rig->socket().sent.split('\n');
        for (auto& l : lines)
            l.chop(l.endsWith('\r') ? 1 : 0);
        qsizetype at = -1;
        for (qsizetype i = skip; i < lines.size(); ++i)
            if (lines[i] == from) {
                at = i;
                break;
            }
        return at < 0 ? QList<QByteArray>() : lines.mid(at, 12);
    }

private slots:
    void backupSwapRestore()
    {
        setUpWith({});
        QTemporaryDir& pc = *pcDir;
        QTemporaryDir& cardA = *cardADir;
        QTemporaryDir& cardB = *cardBDir;
        const auto before = snapshot(cardA.path());
        auto t0 = rig->platform.nowMs();
        rig->form->cmd_Start_Continue_Click();
        const auto backupRun = rig->platform.nowMs() - t0;
        QCOMPARE(rig->controls.buttonCaption(), QStringLiteral("Continue"));
        QVERIFY(rig->platform.messages.empty());
        QVERIFY(rig->controls.status().startsWith(QStringLiteral("1. Turn off the laser")));
        QVERIFY(QFileInfo(pc.filePath(QStringLiteral("config.tgz"))).isFile());
        const QList<QByteArray> backup = linesSentFrom("mount -o remount /dev/mmcblk0p2 /zel");
        QCOMPARE(backup.size(), 12);
        QCOMPARE(backup[5], QByteArray("tar cvzf /media/config.tgz zel/*.conf media/*.conf "
                                       "media/profiles media/sequences media/prv_bmp"));
        QCOMPARE(backup[10], QByteArray("tftp -p -l config.tgz 192.168.100.10"));
        // Connection, login, preparation, relay and about 11 s of backup.
        QVERIFY2(backupRun >= 22000 && backupRun < 23000, qPrintable(QString::number(backupRun)));
        QVERIFY(!engine->device().firmwareRunning());

        // The operator's part: power off, swap in card B, power on.
        engine->powerOff();
        QVERIFY(engine->insertCard(cardB.path()));
        engine->powerOn();
        const auto bBefore = snapshot(cardB.path());

        const auto sentBefore = rig->socket().sent.count('\n');
        t0 = rig->platform.nowMs();
        rig->form->cmd_Start_Continue_Click();
        const auto restoreRun = rig->platform.nowMs() - t0;
        QCOMPARE(rig->controls.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(rig->controls.status(), QStringLiteral("Writing config data done. Please power cycle the laser."));
        QVERIFY(rig->platform.messages.empty());
        QVERIFY2(restoreRun >= 22000 && restoreRun < 23000, qPrintable(QString::number(restoreRun)));
        QCOMPARE(linesSentFrom("mount -o remount /dev/mmcblk0p2 /zel", sentBefore).size(), 12);

        const auto after = snapshot(cardB.path());
        for (const auto& [path, bytes] : configurationOf(before))
            QVERIFY2(after.count(path) && after.at(path) == bytes, qPrintable(path));
        QCOMPARE(after.at(QStringLiteral("media/operator-notes.txt")), bBefore.at(QStringLiteral("media/operator-notes.txt")));
        QCOMPARE(after.at(QStringLiteral("zel/firmware.bin")), bBefore.at(QStringLiteral("zel/firmware.bin")));
        QVERIFY(!after.count(QStringLiteral("media/logs/system.log")));
        QCOMPARE(rig->link().maxWaitDepth(), 1);
    }

    void aFailingTarKeepsThePcArchive()
    {
        simulator::FaultOptions faults;
        faults.failTar = true;
        setUpWith(faults);
        QFile old(pcDir->filePath(QStringLiteral("config.tgz")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the previous good archive");
        old.close();
        rig->form->cmd_Start_Continue_Click();
        QCOMPARE(rig->controls.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(rig->platform.messages.size(), size_t(1));
        QVERIFY(rig->platform.messages[0].text.startsWith(QStringLiteral("Creating Archive Error for config.tgz, Code: ")));
        QVERIFY(rig->controls.status().startsWith(QStringLiteral("tar:")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the previous good archive"));
    }
};

QTEST_GUILESS_MAIN(TestWorkflowEngine)
#include "test_workflow_engine.moc"
