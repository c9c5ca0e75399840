// The controller's archives and busybox's (the tar a real controller runs)
// read each other: a backup from the simulator unpacks with busybox tar, and
// an archive busybox made restores through the simulator, byte for byte.

#include "backup_script.h"
#include "controller_harness.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestSimTarInterop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void simulatorArchiveUnpacksWithBusybox();
    void busyboxArchiveRestoresThroughSimulator();

private:
    QString busybox_;
};

void TestSimTarInterop::initTestCase()
{
    busybox_ = QStandardPaths::findExecutable(QStringLiteral("busybox"));
    if (busybox_.isEmpty())
        QFAIL("busybox is not installed (test.sh installs it)");
}

void TestSimTarInterop::simulatorArchiveUnpacksWithBusybox()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.command("tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp");
    QCOMPARE(h.status(), 0);

    QTemporaryDir out;
    QProcess tar;
    tar.setWorkingDirectory(out.path());
    tar.start(busybox_, {QStringLiteral("tar"), QStringLiteral("xzf"), h.cardPath(QStringLiteral("media/config.tgz"))});
    QVERIFY(tar.waitForFinished(20000));
    QCOMPARE(tar.exitCode(), 0);
    const auto card = snapshot(h.cardDir.path());
    const auto unpacked = snapshot(out.path());
    int taken = 0;
    for (const auto& [rel, bytes] : card) {
        if (!takenByBackup(rel))
            continue;
        ++taken;
        QVERIFY2(unpacked.count(rel) && unpacked.at(rel) == bytes, qPrintable(rel));
    }
    QCOMPARE(int(unpacked.size()), taken + 2);  // and the folders zel and media
}

void TestSimTarInterop::busyboxArchiveRestoresThroughSimulator()
{
    QTemporaryDir source;
    QVERIFY(copyTree(sampleCard(QStringLiteral("A")), source.path()));
    ControllerHarness h({}, QStringLiteral("B"));
    QProcess tar;
    tar.setWorkingDirectory(source.path());
    tar.start(busybox_, {QStringLiteral("tar"), QStringLiteral("czf"), h.cardPath(QStringLiteral("media/config.tgz")),
                         QStringLiteral("zel/laser.conf"), QStringLiteral("zel/motion.conf"),
                         QStringLiteral("media/profiles"), QStringLiteral("media/prv_bmp")});
    QVERIFY(tar.waitForFinished(20000));
    QCOMPARE(tar.exitCode(), 0);

    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("mount -o remount /dev/mmcblk0p2 /zel");
    h.command("cd /");
    const QByteArray listing = h.command("tar xvzf /media/config.tgz");
    QCOMPARE(h.status(), 0);
    QVERIFY(listing.contains("media/prv_bmp/jobs/2024/bracket_17.bmp\r\n"));
    const auto from = snapshot(source.path());
    const auto restored = snapshot(h.cardDir.path());
    for (const QString& rel : {QStringLiteral("zel/laser.conf"), QStringLiteral("zel/motion.conf"),
                              QStringLiteral("media/profiles/steel/s235_2mm.prf"),
                              QStringLiteral("media/prv_bmp/logo.bmp"),
                              QStringLiteral("media/prv_bmp/jobs/2024/bracket_17.bmp")})
        QVERIFY2(restored.at(rel) == from.at(rel), qPrintable(rel));
}

QTEST_GUILESS_MAIN(TestSimTarInterop)
#include "test_simtar_interop.moc"
