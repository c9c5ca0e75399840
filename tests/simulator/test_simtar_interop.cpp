// The controller's archives and busybox's (the tar a real controller runs)
// read each other: a backup from the simulator unpacks with busybox tar, and
// an archive busybox made restores through the simulator, byte for byte.
// And an archive that busybox unpacks further than libarchive reads is one
// the tool's check refuses.

#include "backup_script.h"
#include "controller_harness.h"
#include "fake_tftp_server.h"

#include "pcside/archive_check.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestSimTarInterop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void simulatorArchiveUnpacksWithBusybox();
    void busyboxArchiveRestoresThroughSimulator();
    void whatBusyboxUnpacksUncheckedIsRefused_data();
    void whatBusyboxUnpacksUncheckedIsRefused();

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

void TestSimTarInterop::whatBusyboxUnpacksUncheckedIsRefused_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");  // empty: busybox does not write path
    const QByteArray good =
        tarvo::test::tarOf({{"zel/laser.conf", "power=80\n"}, {"media/machine.conf", "name=test\n"}}).chopped(1024);
    const QByteArray hidden =
        tarvo::test::tarOf({{"root/.profile", "evil\n"}, {"zel/laser.conf", "power=999\n"}}).chopped(1024);
    const QByteArray zeroBlock(512, '\0');
    const QByteArray end = zeroBlock + zeroBlock;
    // busybox reads on past a single zero block; it stops at two.
    QTest::newRow("one zero block") << tarvo::test::gzipped(good + zeroBlock + hidden + end)
                                    << QStringLiteral("root/.profile") << QByteArray("evil\n");
    QTest::newRow("two zero blocks") << tarvo::test::gzipped(good + end + hidden + end)
                                     << QStringLiteral("root/.profile") << QByteArray();
    // An empty file that names a link target: a hard link for busybox, an
    // empty file for libarchive.
    QTest::newRow("a file with a link name")
        << tarvo::test::gzipped(good + tarvo::test::tarHeader("media/x", 0, '0', "zel/laser.conf") + end)
        << QStringLiteral("media/x") << QByteArray("power=80\n");
}

void TestSimTarInterop::whatBusyboxUnpacksUncheckedIsRefused()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("config.tgz")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(archive) == archive.size());
    file.close();
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("laser")));
    const QString laser = dir.filePath(QStringLiteral("laser"));

    QProcess tar;
    tar.setWorkingDirectory(laser);
    tar.start(busybox_, {QStringLiteral("tar"), QStringLiteral("xzf"), file.fileName()});
    QVERIFY(tar.waitForFinished(20000));
    QCOMPARE(tar.exitCode(), 0);
    QFile unpacked(laser + QLatin1Char('/') + path);
    if (content.isEmpty()) {
        QVERIFY(!unpacked.exists());
    } else {
        QVERIFY(unpacked.open(QIODevice::ReadOnly));
        QCOMPARE(unpacked.readAll(), content);
    }

    const tarvo::pcside::ArchiveReport report = tarvo::pcside::checkArchive(archive);
    QVERIFY2(!report.usable, qPrintable(report.members.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestSimTarInterop)
#include "test_simtar_interop.moc"
