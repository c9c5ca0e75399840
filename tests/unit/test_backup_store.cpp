// The backup store: which archive a restore sends, and what the history
// keeps.
#include "pcside/backup_store.h"
#include "pcside/laser_identity.h"
#include "pcside/transcript.h"
#include "platform/qt_platform.h"
#include "virtual_platform.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tarvo;

class TestBackupStore : public QObject {
    Q_OBJECT

    platform::VirtualPlatform platform_;
    const QString laser_ = QStringLiteral("10.0.0.5");

    QString upload(const QByteArray& data)
    {
        const QString path = platform_.dataFolderValue + QStringLiteral("/10.0.0.5/config.tgz");
        platform_.fileData.insert(path, data);
        return path;
    }

    // What a check finds of data: its size, one file, its digest.
    static pcside::BackupStore::Facts facts(const QByteArray& data)
    {
        return {data.size(), 1, QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()};
    }

private slots:
    void folderAndFileNamesAreValidOnWindows()
    {
        // No ':' (an IPv6 address, a hardware address, a time) and no
        // trailing dot or blank (a host name typed so), which Windows drops.
        const QStringList keys{
            pcside::historyKey(QStringLiteral("laser. "), {}),
            pcside::historyKey(QStringLiteral("fe80::1%eth0"), {}),
            pcside::historyKey(QStringLiteral("10.0.0.5"),
                               {platform::ControllerIdentity::Kind::Hardware, QStringLiteral("02:00:00:00:00:05")})};
        QCOMPARE(keys, (QStringList{QStringLiteral("laser__"), QStringLiteral("fe80--1_eth0"),
                                    QStringLiteral("mac-02-00-00-00-00-05")}));
        platform::VirtualPlatform p;
        pcside::BackupStore store(p, p);
        const QString archive = store.controllerArchive(QStringLiteral("laser."));
        QVERIFY2(archive.endsWith(QLatin1String("/laser_/config.tgz")), qPrintable(archive));
        pcside::Transcript record;
        QVERIFY(pcside::saveTranscript(p, QStringLiteral("/t"), record, QStringLiteral("laser. ")));
        const QStringList saved = p.fileNames(QStringLiteral("/t"));
        QCOMPARE(saved.size(), 1);
        QVERIFY2(!saved[0].contains(QLatin1Char(':')) && saved[0].endsWith(QLatin1String("_laser__.log")),
                 qPrintable(saved[0]));
    }

    void aRestoreSendsTheGivenThenThePendingThenTheNewestKept()
    {
        pcside::BackupStore store(platform_, platform_);
        // An upload that was never verified is not restored.
        upload("never verified");
        QCOMPARE(store.archiveToRestore(laser_), QString());

        const auto older = store.keep(upload("first"), laser_, facts("first"));
        const auto newer = store.keep(upload("second"), laser_, facts("second"));
        QVERIFY(older.keptInHistory && newer.keptInHistory);
        QCOMPARE(store.history(laser_), (QStringList{older.backup.path, newer.backup.path}));
        QCOMPARE(platform_.fileData.value(older.backup.path), QByteArray("first"));
        QVERIFY(platform_.fileData.value(older.backup.path + QStringLiteral(".json")).contains("\"sha256\": \"" + facts("first").sha256));
        // The window remembers the newest as the restore that waits.
        QCOMPARE(store.pendingRestore().archive, newer.backup.path);
        QCOMPARE(store.archiveToRestore(QStringLiteral("10.0.0.9")), newer.backup.path);
        store.choose(older.backup);
        QCOMPARE(store.archiveToRestore(laser_), older.backup.path);
        store.clearPendingRestore();
        QCOMPARE(store.archiveToRestore(laser_), newer.backup.path);
        store.setArchiveToRestore(QStringLiteral("/given.tgz"));
        QCOMPARE(store.archiveToRestore(laser_), QStringLiteral("/given.tgz"));

        // The terminal's store leaves the window's pending restore alone.
        pcside::BackupStore terminal(platform_, platform_);
        terminal.setRemembersPendingRestore(false);
        store.choose(older.backup);
        QCOMPARE(terminal.archiveToRestore(laser_), newer.backup.path);
        terminal.keep(upload("third"), laser_, facts("third"));
        terminal.choose(older.backup);
        QCOMPARE(terminal.archiveToRestore(laser_), older.backup.path);
        QCOMPARE(store.pendingRestore().archive, older.backup.path);
        QCOMPARE(terminal.backups().size(), 3);
        QCOMPARE(terminal.backups().front().bytes, 5);  // "third"
    }

    void theHistoryKeepsTheNewestFiftyWithTheirSidecars()
    {
        pcside::BackupStore store(platform_, platform_);
        store.setFolder(QStringLiteral("/archives"));
        QStringList kept;
        for (int n = 0; n < pcside::BackupStore::kHistoryDepth + 2; ++n)
            kept << store.keep(upload(QByteArray::number(n)), laser_, facts(QByteArray::number(n))).backup.path;
        QCOMPARE(store.history(laser_), kept.mid(2));
        for (const QString& gone : kept.mid(0, 2)) {
            QVERIFY(!platform_.fileData.contains(gone));
            QVERIFY(!platform_.fileData.contains(gone + QStringLiteral(".json")));
        }
    }

    void theOrderIsTheOrderOfMakingWhateverTheClockSays()
    {
        pcside::BackupStore store(platform_, platform_);
        store.setFolder(QStringLiteral("/ordered"));
        const QString folder = QStringLiteral("/ordered/history/10.0.0.5/");
        // One of an earlier version (named by time), and one made while
        // the clock ran years ahead.
        const QString timeNamed = folder + QStringLiteral("20991231-235959-999-00_config.tgz");
        const QString ahead = folder + QStringLiteral("n000000007-29991231-235959-999_config.tgz");
        platform_.fileData.insert(timeNamed, "old");
        platform_.fileData.insert(ahead, "ahead");
        const QString now = store.keep(upload("now"), laser_, facts("now")).backup.path;
        QVERIFY2(now.startsWith(folder + QStringLiteral("n000000008-")), qPrintable(now));
        QCOMPARE(store.history(laser_), (QStringList{timeNamed, ahead, now}));
        QCOMPARE(store.archiveToRestore(QStringLiteral("10.0.0.9")), now);
    }

    void pruningSparesTheBackupARestoreWaitsFor()
    {
        pcside::BackupStore window(platform_, platform_);
        window.setFolder(QStringLiteral("/spared"));
        const auto first = window.keep(upload("first"), laser_, facts("first"));
        // The terminal keeps a full history more; the window's pending
        // restore, now the oldest, stays.
        pcside::BackupStore terminal(platform_, platform_);
        terminal.setFolder(QStringLiteral("/spared"));
        terminal.setRemembersPendingRestore(false);
        for (int n = 0; n < pcside::BackupStore::kHistoryDepth; ++n)
            terminal.keep(upload("more"), laser_, facts("more"));
        const QStringList kept = terminal.history(laser_);
        QCOMPARE(kept.size(), pcside::BackupStore::kHistoryDepth);
        QCOMPARE(kept.first(), first.backup.path);
        QCOMPARE(window.archiveToRestore(laser_), first.backup.path);
    }

    void anUploadThatChangedAfterItsCheckIsNotKept()
    {
        // A second upload landed between the check and the copy.
        pcside::BackupStore store(platform_, platform_);
        store.setFolder(QStringLiteral("/changed"));
        store.clearPendingRestore();
        const auto kept = store.keep(upload("replaced"), laser_, facts("checked"));
        QVERIFY(kept.changed && !kept.keptInHistory);
        QVERIFY(store.history(laser_).isEmpty());
        QVERIFY(!store.pendingRestore().isValid());
    }

    void aSidecarThatIsNoSmallOrdinaryFileIsNotRead()
    {
        // A FIFO beside an archive would block the window forever; a huge
        // file or a link to /dev/zero would grow it until killed.
        QTemporaryDir folder;
        platform::QtPlatform real;
        real.dataFolderOverride = folder.path();
        pcside::BackupStore store(real, real);
        const QString history = folder.filePath(QStringLiteral("history/10.0.0.5/"));
        QVERIFY(QDir().mkpath(history));
        const QString fifo = history + QStringLiteral("n000000001-20261201-120000-000_config.tgz");
        const QString big = history + QStringLiteral("n000000002-20261201-120000-000_config.tgz");
        const QString zero = history + QStringLiteral("n000000003-20261201-120000-000_config.tgz");
#ifdef Q_OS_UNIX
        QVERIFY(::mkfifo(QFile::encodeName(fifo + QStringLiteral(".json")).constData(), 0600) == 0);
#else
        // Windows has no FIFOs in its folders; a file to be described from
        // the folder alone stands in.
        QVERIFY(QFile(fifo + QStringLiteral(".json")).open(QIODevice::WriteOnly));
#endif
        QFile huge(big + QStringLiteral(".json"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(QByteArray("{\"controller\": \"x\"") + QByteArray(2 << 20, ' ') + "}"));
        huge.close();
#ifdef Q_OS_UNIX
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero + QStringLiteral(".json")));
#else
        QVERIFY(QFile(zero + QStringLiteral(".json")).open(QIODevice::WriteOnly));
#endif
        for (const QString& path : {fifo, big, zero})
            QCOMPARE(store.describe(path).controller, QStringLiteral("10.0.0.5"));  // from the folder alone
    }

    void aRunsRecordIsBoundedButKeepsItsOutcome()
    {
        // A controller of endless 64 KiB lines grows the record no further
        // than its cap; what the tool says at the end is still there.
        pcside::Transcript record;
        record.begin(QStringLiteral("backup of 10.0.0.5"));
        const QString line(64 * 1024, QLatin1Char('x'));
        for (int i = 0; i < 400; ++i)
            record.add(pcside::Transcript::Source::Received, line);
        record.add(pcside::Transcript::Source::Tool, QStringLiteral("outcome: Reading config data failed."));
        const QString text = record.text();
        QVERIFY(text.size() < 17 * 1024 * 1024 + 1024 * 1024);
        QVERIFY(text.contains(QStringLiteral("[the record is full")));
        QVERIFY(text.endsWith(QStringLiteral("outcome: Reading config data failed.\n")));
    }

    void anUnwritableHistoryKeepsNothing()
    {
        // The server's upload file is no backup: the next upload replaces it.
        pcside::BackupStore store(platform_, platform_);
        platform_.readOnlyFolders.insert(platform_.dataFolderValue + QStringLiteral("/history/10.0.0.5"));
        const QString path = upload("data");
        const auto kept = store.keep(path, laser_, facts("data"));
        QVERIFY(!kept.keptInHistory);
        QCOMPARE(kept.historyFolder, platform_.dataFolderValue + QStringLiteral("/history/10.0.0.5"));
        QVERIFY(!store.pendingRestore().isValid());
        for (const auto& backup : store.backups())
            QVERIFY(backup.path != path);
    }
};

QTEST_GUILESS_MAIN(TestBackupStore)
#include "test_backup_store.moc"
