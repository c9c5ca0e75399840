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

// Bare tar streams without their end blocks, to be put together.
QByteArray goodTar()
{
    return test::tarOf(good()).chopped(1024);
}
QByteArray hiddenTar()
{
    return test::tarOf({{"root/.profile", "evil\n"}, {"zel/laser.conf", "power=999\n"}}).chopped(1024);
}
QByteArray zeroBlocks(int n)
{
    return QByteArray(n * 512, '\0');
}
QByteArray padded(QByteArray data)
{
    return data.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
}
// A pax header of one record, and the header of the member it belongs to.
QByteArray paxed(const QByteArray& key, const QByteArray& value, const QByteArray& member)
{
    const QByteArray record = ' ' + key + '=' + value + '\n';
    qsizetype length = record.size() + 1;
    while (QByteArray::number(length).size() + record.size() != length)
        ++length;
    const QByteArray records = QByteArray::number(length) + record;
    return test::tarHeader("PaxHeader/" + key, records.size(), 'x') + padded(records) + member;
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

    void anArchiveIsJudgedAsTheLasersTarReadsIt_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("problem");  // empty: usable
        const QString afterEnd = QStringLiteral("it holds data after its end marker");
        const QByteArray longName = "media/profiles/" + QByteArray(120, 'p') + ".prf";
        QTest::newRow("end blocks and padding") << test::gzipped(goodTar() + zeroBlocks(2 + 16)) << QString();
        QTest::newRow("zeros after the gzip stream")
            << test::gzipped(goodTar() + zeroBlocks(2)) + QByteArray(100, '\0') << QString();
        QTest::newRow("long names")
            << test::gzipped(test::tarOf(good() << ArchiveMember{"media/" + QByteArray(100, 'd') + "/a.prf", "a"})
                                 .chopped(1024)
                             + test::tarHeader("././@LongLink", longName.size() + 1, 'L') + padded(longName + '\0')
                             + test::tarHeader(longName.left(100), 2) + padded("b\n")
                             + paxed("path", longName + 'x', test::tarHeader("media/short.prf", 2) + padded("c\n"))
                             + zeroBlocks(2))
            << QString();
        // busybox reads on past a single zero block and unpacks what follows.
        QTest::newRow("one zero block, then members")
            << test::gzipped(goodTar() + zeroBlocks(1) + hiddenTar() + zeroBlocks(2)) << afterEnd;
        // It stops at two, but nothing is meant to follow them either.
        QTest::newRow("two zero blocks, then members")
            << test::gzipped(goodTar() + zeroBlocks(2) + hiddenTar() + zeroBlocks(2)) << afterEnd;
        // busybox's gunzip reads a further member whose header sets a reserved
        // flag; libarchive's ends the stream before it.
        QByteArray flagged = test::gzipped(hiddenTar() + zeroBlocks(2));
        flagged[3] = char(flagged[3] | 0x20);
        QTest::newRow("a gzip member libarchive does not read")
            << test::gzipped(goodTar() + zeroBlocks(1)) + flagged
            << QStringLiteral("it holds data after the end of its compressed stream");
        // busybox makes a hard link of an empty file with a link name.
        QTest::newRow("a file with a link name")
            << test::gzipped(goodTar() + test::tarHeader("media/x", 0, '0', "/etc/shadow") + zeroBlocks(2))
            << QStringLiteral("the laser's tar would read it differently than this check, from media/x on");
        // busybox ignores a pax size and reads the next header after the
        // size in the file's own header.
        QTest::newRow("a pax size")
            << test::gzipped(goodTar() + paxed("size", "1024", test::tarHeader("media/a", 0)) + hiddenTar()
                             + zeroBlocks(2))
            << QStringLiteral("the laser's tar would read it differently than this check, from media/a on");
    }

    void anArchiveIsJudgedAsTheLasersTarReadsIt()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, problem);
        const pcside::ArchiveReport report = pcside::checkArchive(archive);
        if (problem.isEmpty()) {
            QVERIFY2(report.usable, qPrintable(report.problem));
        } else {
            QVERIFY(!report.usable);
            QVERIFY2(report.problem.startsWith(problem), qPrintable(report.problem));
        }
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
#ifndef Q_OS_WIN
        // Windows has no device files among its files.
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
#endif
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
