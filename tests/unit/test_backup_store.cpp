// The backup store: which archive a restore sends, and what the history
// keeps.
#include "pcside/backup_store.h"
#include "virtual_platform.h"

#include <QTest>

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

private slots:
    void aRestoreSendsTheGivenThenThePendingThenTheNewestKept()
    {
        pcside::BackupStore store(platform_);
        const QString lastUpload = upload("never verified");
        QCOMPARE(store.archiveToRestore(laser_), lastUpload);

        const auto older = store.keep(upload("first"), laser_, {5, 1, "aa"});
        const auto newer = store.keep(upload("second"), laser_, {6, 1, "bb"});
        QVERIFY(older.keptInHistory && newer.keptInHistory);
        QCOMPARE(store.history(laser_), (QStringList{older.backup.path, newer.backup.path}));
        QCOMPARE(platform_.fileData.value(older.backup.path), QByteArray("first"));
        QVERIFY(platform_.fileData.value(older.backup.path + QStringLiteral(".json")).contains("\"sha256\": \"aa\""));
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
        pcside::BackupStore terminal(platform_);
        terminal.setRemembersPendingRestore(false);
        store.choose(older.backup);
        QCOMPARE(terminal.archiveToRestore(laser_), newer.backup.path);
        terminal.keep(upload("third"), laser_, {5, 1, "cc"});
        terminal.choose(older.backup);
        QCOMPARE(terminal.archiveToRestore(laser_), older.backup.path);
        QCOMPARE(store.pendingRestore().archive, older.backup.path);
        QCOMPARE(terminal.backups().size(), 3);
        QCOMPARE(terminal.backups().front().bytes, 5);
    }

    void theHistoryKeepsTheNewestFiftyWithTheirSidecars()
    {
        pcside::BackupStore store(platform_);
        store.setFolder(QStringLiteral("/archives"));
        QStringList kept;
        for (int n = 0; n < pcside::BackupStore::kHistoryDepth + 2; ++n)
            kept << store.keep(upload(QByteArray::number(n)), laser_, {1, 1, "ab"}).backup.path;
        QCOMPARE(store.history(laser_), kept.mid(2));
        for (const QString& gone : kept.mid(0, 2)) {
            QVERIFY(!platform_.fileData.contains(gone));
            QVERIFY(!platform_.fileData.contains(gone + QStringLiteral(".json")));
        }
    }

    void anUnwritableHistoryLeavesTheUploadAsTheBackup()
    {
        pcside::BackupStore store(platform_);
        platform_.readOnlyFolders.insert(platform_.dataFolderValue + QStringLiteral("/history/10.0.0.5"));
        const QString path = upload("data");
        const auto kept = store.keep(path, laser_, {4, 1, "ab"});
        QVERIFY(!kept.keptInHistory);
        QCOMPARE(kept.backup.path, path);
        QCOMPARE(kept.historyFolder, platform_.dataFolderValue + QStringLiteral("/history/10.0.0.5"));
        QCOMPARE(store.pendingRestore().archive, path);
    }
};

QTEST_GUILESS_MAIN(TestBackupStore)
#include "test_backup_store.moc"
