// The archive check: what a backup or a restore refuses before the old card
// may go or anything is sent, and what it reports of an archive it accepts.
#include "workflow_fixture.h"

#include "pcside/archive_check.h"

#include <QCryptographicHash>
#include <QtTest>

#include <archive_entry.h>

using namespace tarvo;
using test::ArchiveMember;

Q_DECLARE_METATYPE(test::ArchiveMember)

namespace {
// The members every archive here starts with: a usable configuration.
QList<ArchiveMember> good()
{
    return {{"zel/laser.conf", "power=80\n"}, {"media/machine.conf", "name=test\n"}};
}
}  // namespace

class TestArchiveCheck : public QObject {
    Q_OBJECT

private slots:
    void aGoodArchivePassesWithItsFigures()
    {
        QList<ArchiveMember> members = good();
        members += {{"media/profiles/", {}, AE_IFDIR},
                    {"media/profiles/a.prf", "cut\n"},
                    {"media/profiles/latest", {}, AE_IFLNK, "a.prf"},
                    {"media/sequences/a.prf", {}, AE_IFREG, {}, "media/profiles/a.prf"}};
        const QByteArray data = test::makeArchiveOf(members);
        const pcside::ArchiveReport report = pcside::checkArchive(data);
        QVERIFY2(report.usable, qPrintable(report.problem));
        QCOMPARE(report.files, 6);
        QCOMPARE(report.configFiles, 1);
        QCOMPARE(report.bytes, data.size());
        QCOMPARE(report.sha256, QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
        QCOMPARE(report.members, (QStringList{"zel/laser.conf", "media/machine.conf", "media/profiles/",
                                              "media/profiles/a.prf", "media/profiles/latest", "media/sequences/a.prf"}));
    }

    void aMemberTheLaserMustNotUnpackIsRefusedByName_data()
    {
        QTest::addColumn<ArchiveMember>("member");
        QTest::addColumn<QString>("named");
        QTest::newRow("absolute") << ArchiveMember{"/etc/shadow", "x"} << QStringLiteral("/etc/shadow (absolute path)");
        QTest::newRow("climbs") << ArchiveMember{"media/../etc/passwd", "x"}
                                << QStringLiteral("media/../etc/passwd (a .. component)");
        QTest::newRow("outside") << ArchiveMember{"./etc/passwd", "x"}
                                 << QStringLiteral("./etc/passwd (outside zel/ and media/)");
        QTest::newRow("symlink out") << ArchiveMember{"media/profiles", {}, AE_IFLNK, "../etc"}
                                     << QStringLiteral("media/profiles (a link to ../etc, outside");
        QTest::newRow("absolute symlink") << ArchiveMember{"zel/keys", {}, AE_IFLNK, "/root/.ssh"}
                                          << QStringLiteral("zel/keys (a link to /root/.ssh, outside");
        QTest::newRow("hard link out") << ArchiveMember{"media/shadow", {}, AE_IFREG, {}, "/etc/shadow"}
                                       << QStringLiteral("media/shadow (a hard link to /etc/shadow, which is not earlier");
        QTest::newRow("hard link ahead") << ArchiveMember{"media/a", {}, AE_IFREG, {}, "media/b"}
                                         << QStringLiteral("media/a (a hard link to media/b, which is not earlier");
        QTest::newRow("device") << ArchiveMember{"media/sda", {}, AE_IFBLK} << QStringLiteral("media/sda (a device node)");
        QTest::newRow("char device") << ArchiveMember{"zel/mem", {}, AE_IFCHR} << QStringLiteral("zel/mem (a device node)");
        QTest::newRow("fifo") << ArchiveMember{"media/pipe", {}, AE_IFIFO} << QStringLiteral("media/pipe (a FIFO)");
        QTest::newRow("empty conf") << ArchiveMember{"zel/motion.conf", {}}
                                    << QStringLiteral("zel/motion.conf (an empty configuration file)");
        QTest::newRow("symlinked conf") << ArchiveMember{"zel/motion.conf", {}, AE_IFLNK, "../media/machine.conf"}
                                        << QStringLiteral("zel/motion.conf (a configuration file that is not an ordinary file)");
    }

    void aMemberTheLaserMustNotUnpackIsRefusedByName()
    {
        QFETCH(ArchiveMember, member);
        QFETCH(QString, named);
        const pcside::ArchiveReport report = pcside::checkArchive(test::makeArchiveOf(good() << member));
        QVERIFY(!report.usable);
        QVERIFY2(report.problem.startsWith(QStringLiteral("it holds a member the laser would not accept: ") + named),
                 qPrintable(report.problem));
    }

    void aMemberBeyondALinkInTheArchiveIsRefused_data()
    {
        QTest::addColumn<ArchiveMember>("link");
        QTest::addColumn<ArchiveMember>("member");
        QTest::addColumn<QString>("named");
        // /zel/.. is /, which the lexical reading media/up/.. = media hides.
        QTest::newRow("link through a link") << ArchiveMember{"media/up", {}, AE_IFLNK, "/zel"}
                                             << ArchiveMember{"media/root", {}, AE_IFLNK, "up/.."}
                                             << QStringLiteral("media/root (a link to up/.., outside");
        QTest::newRow("member beneath a link") << ArchiveMember{"media/profiles", {}, AE_IFLNK, "../zel"}
                                               << ArchiveMember{"media/profiles/p.prf", "x"}
                                               << QStringLiteral("media/profiles/p.prf (inside media/profiles, a link");
    }

    void aMemberBeyondALinkInTheArchiveIsRefused()
    {
        QFETCH(ArchiveMember, link);
        QFETCH(ArchiveMember, member);
        QFETCH(QString, named);
        const pcside::ArchiveReport report = pcside::checkArchive(test::makeArchiveOf(good() << link << member));
        QVERIFY(!report.usable);
        QVERIFY2(report.problem.contains(named), qPrintable(report.problem));
    }

    void aSymlinkedConfigurationIsNoConfiguration()
    {
        const pcside::ArchiveReport report = pcside::checkArchive(
            test::makeArchiveOf({{"media/machine.conf", "name=test\n"},
                                 {"zel/laser.conf", {}, AE_IFLNK, "../media/machine.conf"}}));
        QVERIFY(!report.usable);
        QVERIFY2(report.problem.contains(QStringLiteral("zel/laser.conf")), qPrintable(report.problem));
    }

    void aGzipBombIsRefused_data()
    {
        QTest::addColumn<bool>("declared");
        QTest::newRow("zeros past the end") << false;
        QTest::newRow("a header promising 2 GiB") << true;
    }

    void aGzipBombIsRefused()
    {
        QFETCH(bool, declared);
        const QByteArray data = test::gzipBomb(2048, declared);
        QVERIFY(data.size() < 3 << 20);
        const pcside::ArchiveReport report = pcside::checkArchive(data);
        QVERIFY(!report.usable);
        QVERIFY2(report.problem.contains(QStringLiteral("far more than a configuration can be")), qPrintable(report.problem));
    }

    void anArchiveBeyondTheSizeBoundIsRefusedUnread()
    {
        pcside::ArchiveLimits limits;
        limits.maxArchiveBytes = 64;
        const pcside::ArchiveReport report = pcside::checkArchive(test::sampleArchive(), limits);
        QVERIFY(!report.usable);
        QVERIFY(report.sha256.isEmpty());
        QVERIFY2(report.problem.startsWith(QStringLiteral("it is larger than")), qPrintable(report.problem));
    }

    void aRestoreSourceThatIsNoOrdinaryFileIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
    }

    void aRestoreSourceThatIsNoOrdinaryFileIsRefused()
    {
        QFETCH(QString, kind);
        test::WorkflowFixture f;
        f.workflow().setPhase(workflow::Workflow::Phase::Restore);
        QString source = f.keptPath();
        f.platform().fileData.remove(source);
        if (kind == QLatin1String("folder")) {
            f.platform().directories.insert(source);
        } else if (kind == QLatin1String("fifo")) {
            f.platform().specialFiles.insert(source);
        } else {
            source = kind;
            f.platform().useRealFiles = true;
        }
        f.store().setArchiveToRestore(source);
        f.rig->click();
        QVERIFY(f.shell->lines.isEmpty());
        QCOMPARE(f.messageTexts().size(), 1);
        QVERIFY2(f.messageTexts()[0].contains(source + QStringLiteral(", is not usable: it is not an ordinary file")),
                 qPrintable(f.messageTexts()[0]));
    }
};

QTEST_GUILESS_MAIN(TestArchiveCheck)
#include "test_archive_check.moc"
